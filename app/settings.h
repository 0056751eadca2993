#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings file: an ini file with one byte per character on disk and
// UTF-8 in memory.
namespace bg {

class TIniSection {
 public:
  std::string Name;
  // Byte order of UTF-8 is character-code order: case-sensitive, a prefix first.
  std::map<std::string, std::string> Values;

  static TIniSection Create(const std::string& name);
  void SetValue(const std::string& key, const std::string& value);
  std::string GetValue(const std::string& key) const;  // "" when absent
  // "[Name]", one "key=value" per key in ascending order, then a blank line; CR LF endings.
  std::string GetSectionText() const;
};

// Names need not be unique: lookups find the first section of a name.
class TSectionList {
 public:
  TIniSection* GetSection(const std::string& name);
  const TIniSection* GetSection(const std::string& name) const;
  // Always appends, even when the name is already present.
  TIniSection* AddSection(const std::string& name);
  // Held by pointer so a returned section stays valid while others are added.
  const std::vector<std::unique_ptr<TIniSection>>& Items() const { return items_; }

 private:
  std::vector<std::unique_ptr<TIniSection>> items_;
};

class TVellIni {
 public:
  std::string Filename;
  TSectionList Sections;

  static TVellIni Create(const std::string& filename);  // does not touch the file
  // Appends what the file holds to the model; a missing or unreadable file is quietly
  // ignored.
  void Load();
  // Writes a missing file, replaces an existing one only when forced. The old file
  // is replaced atomically or not at all. Returns whether the file was written.
  bool Save(bool force);
  // The file already holds exactly the text Save would write.
  bool Holds() const;

  TIniSection* AddSection(const std::string& name);
  TIniSection* GetSection(const std::string& name);
  // These act on the first section of that name and never create one.
  void SetSectionValue(const std::string& section, const std::string& key, const std::string& value);
  std::string GetSectionValue(const std::string& section, const std::string& key) const;
  std::string GetIniText() const;
};

// Drops leading and trailing characters with codes 0..32.
std::string Trim(std::string_view text);
// Cuts at separators outside quotes and trims the pieces; never returns an empty list.
// A separator of several characters is matched one character per cut.
std::vector<std::string> SmartSplit(std::string_view text, std::string_view sep, char quote);
// The line without its ';' comment.
std::string cleanVal(std::string_view line);
// Leading decimal, '$' hex or '%' binary number with optional sign; wraps at 32 bits.
int32_t TextToInt(std::string_view text);
// Stores the default when the key is absent or empty, then returns the stored value.
std::string IniLoadDef(TVellIni& ini, const std::string& section, const std::string& key,
                       const std::string& def);

}  // namespace bg
