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

std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = text[i];
    size_t len = 1;
    uint32_t cp = c;
    if (c >= 0xC0 && c < 0xE0) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c < 0xF0) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c < 0xF8) { len = 4; cp = c & 0x07; }
    else if (c >= 0x80) { out.push_back('?'); ++i; continue; }  // stray continuation byte
    if (i + len > n) { out.push_back('?'); break; }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      const unsigned char cc = text[i + k];
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out.push_back('?'); ++i; continue; }
    out.push_back(cp <= 0xFF ? char(cp) : '?');
    i += len;
  }
  return out;
}

}  // namespace bg
