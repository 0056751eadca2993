#include "platform/latin1.h"
#include <cstdint>

namespace bg {

std::string Latin1ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

// One character of UTF-8 text at i: its length in bytes and its Latin-1 byte.
// Broken sequences count one byte each, as '?'.
size_t NextChar(const std::string& text, size_t i, char& latin) {
  const size_t n = text.size();
  const unsigned char c = text[i];
  size_t len = 1;
  uint32_t cp = c;
  if (c >= 0xC0 && c < 0xE0) { len = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c < 0xF0) { len = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c < 0xF8) { len = 4; cp = c & 0x07; }
  else if (c >= 0x80) { latin = '?'; return 1; }  // stray continuation byte
  if (i + len > n) { latin = '?'; return n - i; }
  for (size_t k = 1; k < len; ++k) {
    const unsigned char cc = text[i + k];
    if ((cc & 0xC0) != 0x80) { latin = '?'; return 1; }
    cp = (cp << 6) | (cc & 0x3F);
  }
  latin = cp <= 0xFF ? char(cp) : '?';
  return len;
}

}  // namespace

std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  char latin = 0;
  for (size_t i = 0; i < text.size(); out.push_back(latin)) i += NextChar(text, i, latin);
  return out;
}

std::string CutText(const std::string& text, size_t chars) {
  if (text.size() <= chars) return text;
  size_t i = 0;
  char latin = 0;
  for (size_t count = 0; i < text.size() && count < chars; ++count) i += NextChar(text, i, latin);
  return text.substr(0, i);
}

}  // namespace bg
