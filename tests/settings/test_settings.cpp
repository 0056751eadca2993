// The settings file through real files: the reader's line rules, the writer's layout, and saving.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/support/world.h"

namespace fs = std::filesystem;
using bg::TVellIni;
using bg::test::ReadFile;
using bg::test::WriteFile;

namespace {

using Model = std::vector<std::pair<std::string, std::map<std::string, std::string>>>;

Model ModelOf(const TVellIni& ini) {
  Model m;
  for (const auto& s : ini.Sections.Items()) m.emplace_back(s->Name, s->Values);
  return m;
}

// Each test in a fresh current directory.
constexpr const char* kFile = "settings.ini";

class Settings : public ::testing::Test {
 protected:
  static std::set<std::string> Entries() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(".")) names.insert(e.path().filename().string());
    return names;
  }
  static TVellIni Load(const std::string& bytes) {
    WriteFile(kFile, bytes);
    TVellIni ini = TVellIni::Create(kFile);
    ini.Load();
    return ini;
  }
  static std::string Saved(TVellIni& ini) {
    EXPECT_TRUE(ini.Save(1));
    return ReadFile(ini.Filename);
  }
  bg::test::TempDir dir;
};

TEST(TextToInt, EveryForm) {
  const std::pair<const char*, int32_t> cases[] = {
      {"-7", -7},       {"  +42", 42},     {"\t\n 8", 8},     {"$1F", 31},         {"$1f", 31},      {"+$aB", 171},
      {"-$10", -16},    {"%101", 5},       {"12abc", 12},     {"%1012", 5},        {"$fg", 15},      {"-%11", -3},
      {"", 0},          {"abc", 0},        {"%2", 0},         {"$", 0},            {"- 5", 0},
      {"4294967297", 1}, {"2147483648", INT32_MIN}, {"$FFFFFFFF", -1}, {"-2147483648", INT32_MIN}};
  for (const auto& [text, want] : cases) EXPECT_EQ(bg::TextToInt(text), want) << '"' << text << '"';
}

TEST_F(Settings, FileRules) {
  const struct {
    std::string text;
    Model want;
  } cases[] = {
      {"[s]\na=1\nb=2\n", {{"s", {{"a", "1"}, {"b", "2"}}}}},
      // Comments, quotes, blanks and '=' within a line; a lone quote swallows the line.
      {"[n]\n  Width = 12 ; wide  \nA=old\nA=a;b\nB=\"a;b\"\nC=a=b\nPan=\nFoo\n=5\nName=O\"Brien\n; a comment\n",
       {{"n", {{"", "5"}, {"A", "a"}, {"B", "\"a;b\""}, {"C", "a"}, {"Foo", ""}, {"Pan", ""}, {"Width", "12"}}}}},
      {"[s\r]\r\r\na\r=1\r\nb=\r2", {{"s", {{"a", "1"}, {"b", "2"}}}}},
      {std::string("[s]\r\nk=1\0junk\r\nm=2\0", 19), {{"s", {{"junk", ""}, {"k", "1"}, {"m", "2"}}}}},
      {"[ t ]\r\nk=1", {{" t ", {{"k", "1"}}}}},  // header names are not trimmed
      {"[s]\r\na=1\r\n[o]\r\no=1\r\n[s]\r\nb=2\r\n", {{"s", {{"a", "1"}, {"b", "2"}}}, {"o", {{"o", "1"}}}, {"s", {}}}},
      {"x=1\r\n[s]\r\nPan=1\r\n", {}},  // a key before any header: nothing after it is trusted
      {"[a]\nk=1\n[]\n\n; note\nx=2\n[b]\ny=3\n", {{"a", {{"k", "1"}}}, {"", {}}}},
      {"[network]\r\nName=Ren\xE9\r\n", {{"network", {{"Name", "Ren\xC3\xA9"}}}}},
      {"[s]" + std::string(3u << 20, 'k'), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ModelOf(Load(c.text)), c.want) << c.text.substr(0, 40);
  // Only whole lines of the first MiB are read.
  std::string big = "[s]\r\nearly=1\r\n;";
  big += std::string((1u << 20) - 10 - big.size(), 'x') + "\r\ncut=0123456789\r\nlate=1\r\n";
  EXPECT_EQ(ModelOf(Load(big)), (Model{{"s", {{"early", "1"}}}}));
}

TEST_F(Settings, WriterLayoutSortsKeysByCodeAndWritesLatin1) {
  TVellIni ini = Load("[s]\r\na=1\r\n[o]\r\n[s]\r\nb=2\r\n=5\r\nFoo\r\n");
  EXPECT_EQ(Saved(ini), "[s]\r\n=5\r\nFoo=\r\na=1\r\nb=2\r\n\r\n[o]\r\n\r\n[s]\r\n\r\n");
  TVellIni net = TVellIni::Create(kFile);
  net.AddSection("network");
  for (const char* key : {"ServerPort", "ServerListPort", "name", "Name"}) net.SetSectionValue("network", key, "1");
  net.SetSectionValue("network", "Nick", "x\xC4\x8Ay\xC3\xA9");  // U+010A (low byte LF) is '?'
  EXPECT_EQ(Saved(net), "[network]\r\nName=1\r\nNick=x?y\xE9\r\nServerListPort=1\r\nServerPort=1\r\nname=1\r\n\r\n");
  // A key line that would read back as a header is not written.
  TVellIni header = Load("[a]\r\n[k=v]=x\r\nz=1\r\n");
  ASSERT_EQ(header.GetSectionValue("a", "[k"), "v]");
  EXPECT_EQ(Saved(header), "[a]\r\nz=1\r\n\r\n");
}

TEST_F(Settings, SavingRules) {
  TVellIni ini = TVellIni::Create(kFile);
  ini.AddSection("s");
  EXPECT_TRUE(ini.Save(0));  // a missing file is written without force
  EXPECT_EQ(ReadFile(kFile), "[s]\r\n\r\n");
  WriteFile(kFile, "old");
  EXPECT_FALSE(ini.Save(0));
  EXPECT_EQ(ReadFile(kFile), "old");
  EXPECT_TRUE(ini.Save(1));
  EXPECT_EQ(Entries(), (std::set<std::string>{"settings.ini"}));  // no temporary file left
  // A symlink stays a link, and the file it names keeps its mode.
  fs::remove(kFile);
  WriteFile("real.ini", "old");
  ASSERT_EQ(::chmod("real.ini", 0640), 0);
  fs::create_symlink("real.ini", kFile);
  ASSERT_TRUE(ini.Save(1));
  EXPECT_TRUE(fs::is_symlink(kFile));
  EXPECT_EQ(ReadFile("real.ini"), "[s]\r\n\r\n");
  struct stat st {};
  ASSERT_EQ(::stat("real.ini", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // A directory in the way, or a missing directory: nothing written or read, the model kept.
  fs::create_directory("dir.ini");
  for (const char* path : {"dir.ini", "nodir/settings.ini"}) {
    ini.Filename = path;
    EXPECT_FALSE(ini.Save(1)) << path;
    ini.Load();
  }
  EXPECT_TRUE(fs::is_empty("dir.ini"));
  EXPECT_EQ(ModelOf(ini), (Model{{"s", {}}}));
  EXPECT_EQ(Entries(), (std::set<std::string>{"dir.ini", "real.ini", "settings.ini"}));
}

}  // namespace
