#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "platform/latin1.h"

namespace bg {

namespace {

// A settings file is a few hundred bytes; more than 1 MiB is not one of ours. Only the
// first MiB is read and its cut-off last line is dropped, so no value is read half.
constexpr size_t kMaxIniBytes = size_t(1) << 20;

// Byte length of the UTF-8 character at i; a malformed byte counts as one character.
size_t CharLen(std::string_view s, size_t i) {
  const unsigned char c = s[i];
  const size_t len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : 1;
  if (i + len > s.size()) return 1;
  for (size_t k = 1; k < len; ++k)
    if ((s[i + k] & 0xC0) != 0x80) return 1;
  return len;
}

std::vector<std::string_view> Chars(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t i = 0; i < s.size();) {
    const size_t len = CharLen(s, i);
    out.push_back(s.substr(i, len));
    i += len;
  }
  return out;
}

// False when the file cannot be read to the end (or to the cap); then nothing is used.
bool ReadCapped(const std::string& path, std::string& data, bool& cut) {
  // O_NONBLOCK: a FIFO put at the path must not hang the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  data.clear();
  char buf[65536];
  while (ok && data.size() <= kMaxIniBytes) {
    const ssize_t got = ::read(fd, buf, std::min(sizeof buf, kMaxIniBytes + 1 - data.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    data.append(buf, size_t(got));
  }
  ::close(fd);
  cut = data.size() > kMaxIniBytes;
  if (cut) data.resize(kMaxIniBytes);
  return ok;
}

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) done += size_t(n);
    else if (n < 0 && errno == EINTR) continue;
    else return false;
  }
  return true;
}

}  // namespace

TIniSection TIniSection::Create(const std::string& name) {
  TIniSection s;
  s.Name = name;
  return s;
}

void TIniSection::SetValue(const std::string& key, const std::string& value) { Values[key] = value; }

std::string TIniSection::GetValue(const std::string& key) const {
  const auto it = Values.find(key);
  return it == Values.end() ? std::string() : it->second;
}

std::string TIniSection::GetSectionText() const {
  std::string out = "[" + Name + "]\r\n";
  for (const auto& [key, value] : Values) {
    std::string line = key + "=" + value;
    // A key like "[k" with a value like "v]" would come back as a section
    // header and take every later key with it; no game key looks like that.
    const std::string cleaned = cleanVal(line);
    if (cleaned.size() >= 2 && cleaned.front() == '[' && cleaned.back() == ']') continue;
    out += line + "\r\n";
  }
  return out + "\r\n";
}

TIniSection* TSectionList::GetSection(const std::string& name) {
  return const_cast<TIniSection*>(std::as_const(*this).GetSection(name));
}

const TIniSection* TSectionList::GetSection(const std::string& name) const {
  for (const auto& s : items_)
    if (s->Name == name) return s.get();
  return nullptr;
}

TIniSection* TSectionList::AddSection(const std::string& name) {
  items_.push_back(std::make_unique<TIniSection>(TIniSection::Create(name)));
  return items_.back().get();
}

TVellIni TVellIni::Create(const std::string& filename) {
  TVellIni ini;
  ini.Filename = filename;
  return ini;
}

TIniSection* TVellIni::AddSection(const std::string& name) { return Sections.AddSection(name); }

TIniSection* TVellIni::GetSection(const std::string& name) { return Sections.GetSection(name); }

void TVellIni::SetSectionValue(const std::string& section, const std::string& key,
                               const std::string& value) {
  if (TIniSection* s = Sections.GetSection(section)) s->SetValue(key, value);
}

std::string TVellIni::GetSectionValue(const std::string& section, const std::string& key) const {
  const TIniSection* s = Sections.GetSection(section);
  return s ? s->GetValue(key) : std::string();
}

std::string TVellIni::GetIniText() const {
  std::string out;
  for (const auto& s : Sections.Items()) out += s->GetSectionText();
  return out;
}

bool TVellIni::Holds() const {
  std::string data;
  bool cut = false;
  return ReadCapped(Filename, data, cut) && !cut && data == Utf8ToLatin1(GetIniText());
}

void TVellIni::Load() {
  std::string data;
  bool cut = false;
  if (!ReadCapped(Filename, data, cut)) return;
  std::string current;
  for (size_t pos = 0; pos < data.size();) {
    size_t end = data.find_first_of(std::string_view("\n\0", 2), pos);
    if (end == std::string::npos) {
      if (cut) break;
      end = data.size();
    }
    std::string raw;
    for (size_t i = pos; i < end; ++i)
      if (data[i] != '\r') raw += data[i];
    pos = end + 1;

    const std::string line = cleanVal(Latin1ToUtf8(raw));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = line.substr(1, line.size() - 2);
      AddSection(current);
    } else if (!current.empty() && !line.empty()) {
      const std::vector<std::string> pieces = SmartSplit(line, "=", '"');
      SetSectionValue(current, Trim(pieces[0]), pieces.size() >= 2 ? Trim(pieces[1]) : "");
    } else if (!line.empty()) {
      break;  // a key with no section to hold it: the rest of the file is not trusted
    }
  }
}

bool TVellIni::Save(bool force) {
  if (Filename.empty()) return false;
  std::string target = Filename;
  struct stat st {};
  bool exists = false;
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || !force) return false;
    exists = true;
    struct stat lst {};
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
      // Renaming over a symlink would cut it off from the file it points at.
      char* real = ::realpath(target.c_str(), nullptr);
      if (!real) return false;
      target = real;
      std::free(real);
    }
  } else if (errno != ENOENT || ::lstat(target.c_str(), &st) == 0) {
    return false;  // unreachable, or a dangling symlink we should not replace
  }

  // The text goes to a fresh file beside the target and is renamed over it only once
  // it is complete on disk, so a crash or a full disk never leaves a truncated file.
  static std::atomic<unsigned> serial{0};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    tmp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  if (exists) (void)::fchmod(fd, st.st_mode & 07777);  // best effort: keep the old mode

  bool ok = WriteAll(fd, Utf8ToLatin1(GetIniText())) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Makes the rename itself durable; the file is already correct if this fails.
  std::string dir = std::filesystem::path(target).parent_path().string();
  if (dir.empty()) dir = ".";
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    (void)::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

std::vector<std::string> SmartSplit(std::string_view text, std::string_view sep, char quote) {
  const std::vector<std::string_view> chars = Chars(text), seps = Chars(sep);
  std::vector<std::string> result(1);
  std::string piece;
  bool inquote = false;
  size_t j = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    const std::string_view c = chars[i];
    const bool isSep = j < seps.size() && c == seps[j];
    if (c.size() == 1 && c[0] == quote) inquote = !inquote;
    if (!isSep || inquote) piece += c;
    if ((isSep || i + 1 == chars.size()) && !inquote) {
      result.back() = Trim(piece);
      piece.clear();
      result.emplace_back();
      if (seps.size() > 1 && j < seps.size()) ++j;
    }
  }
  if (result.size() > 1) result.pop_back();
  return result;
}

std::string cleanVal(std::string_view line) {
  if (line.empty()) return std::string();
  return SmartSplit(Trim(line), ";", '"')[0];
}

int32_t TextToInt(std::string_view text) {
  size_t i = 0;
  const auto at = [&](char c) { return i < text.size() && text[i] == c; };
  // The C locale's white space, whatever locale the program has set.
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  const bool negative = at('-');
  if (negative || at('+')) ++i;
  uint32_t base = 10;
  if (at('%')) base = 2, ++i;
  else if (at('$')) base = 16, ++i;
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    uint32_t digit = 16;
    if (c >= '0' && c <= '9') digit = uint32_t(c - '0');
    else if (c >= 'a' && c <= 'f') digit = uint32_t(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = uint32_t(c - 'A' + 10);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

std::string IniLoadDef(TVellIni& ini, const std::string& section, const std::string& key,
                       const std::string& def) {
  if (!ini.GetSection(section)) {
    ini.AddSection(section);
    ini.SetSectionValue(section, key, def);
  } else if (ini.GetSectionValue(section, key).empty()) {
    ini.SetSectionValue(section, key, def);
  }
  return ini.GetSectionValue(section, key);
}

}  // namespace bg
