#include "app/settings.h"

#include "app/globals.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

namespace fs = std::filesystem;
using bg::TVellIni;

namespace {

using Model = std::vector<std::pair<std::string, std::map<std::string, std::string>>>;

Model ModelOf(const TVellIni& ini) {
  Model m;
  for (const auto& s : ini.Sections.Items()) m.emplace_back(s->Name, s->Values);
  return m;
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bg_settings_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name = "settings.ini") const { return (dir_ / name).string(); }

  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::set<std::string> DirEntries(const fs::path& dir) const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
  }

  TVellIni LoadText(const std::string& bytes) {
    WriteFile(Path(), bytes);
    TVellIni ini = TVellIni::Create(Path());
    ini.Load();
    return ini;
  }
  // Loads one line under a [network] header that already holds Name=old.
  TVellIni LoadNetworkLine(const std::string& line) {
    return LoadText("[network]\r\nName=old\r\n" + line + "\r\n");
  }
  std::string SavedText(TVellIni& ini) {
    EXPECT_TRUE(ini.Save(1));
    return ReadFile(ini.Filename);
  }

  fs::path dir_;
};

// ---- Numbers -------------------------------------------------------------------------

TEST(TextToIntTest, DecimalWithSignAndLeadingSpace) {
  EXPECT_EQ(bg::TextToInt("-7"), -7);
  EXPECT_EQ(bg::TextToInt("  +42"), 42);
  EXPECT_EQ(bg::TextToInt("\t\n 8"), 8);
}

TEST(TextToIntTest, HexAndBinary) {
  EXPECT_EQ(bg::TextToInt("$1F"), 31);
  EXPECT_EQ(bg::TextToInt("$1f"), 31);
  EXPECT_EQ(bg::TextToInt("-$10"), -16);
  EXPECT_EQ(bg::TextToInt("%101"), 5);
}

TEST(TextToIntTest, StopsAtFirstForeignCharacter) {
  EXPECT_EQ(bg::TextToInt("12abc"), 12);
  EXPECT_EQ(bg::TextToInt("%1012"), 5);
  EXPECT_EQ(bg::TextToInt("$fg"), 15);
}

TEST(TextToIntTest, NoDigitsGivesZero) {
  EXPECT_EQ(bg::TextToInt(""), 0);
  EXPECT_EQ(bg::TextToInt("abc"), 0);
  EXPECT_EQ(bg::TextToInt("%2"), 0);
  EXPECT_EQ(bg::TextToInt("$"), 0);
  EXPECT_EQ(bg::TextToInt("- 5"), 0);
}

TEST(TextToIntTest, WrapsAt32Bits) {
  EXPECT_EQ(bg::TextToInt("4294967297"), 1);
  EXPECT_EQ(bg::TextToInt("2147483648"), INT32_MIN);
  EXPECT_EQ(bg::TextToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(bg::TextToInt("-2147483648"), INT32_MIN);
}

// ---- Text helpers --------------------------------------------------------------------

TEST(TextTest, TrimDropsControlCharactersAndSpaceOnly) {
  EXPECT_EQ(bg::Trim(std::string("\0\t a b \r\n\x1f", 9)), "a b");
  EXPECT_EQ(bg::Trim("   "), "");
  EXPECT_EQ(bg::Trim("\xC3\xA9 "), "\xC3\xA9");  // é stays whole
}

TEST(TextTest, SmartSplitCutsOutsideQuotesAndTrims) {
  using V = std::vector<std::string>;
  EXPECT_EQ(bg::SmartSplit(" a ; b ", ";", '"'), (V{"a", "b"}));
  EXPECT_EQ(bg::SmartSplit("a;\"b;c\";d", ";", '"'), (V{"a", "\"b;c\"", "d"}));
  EXPECT_EQ(bg::SmartSplit("a;", ";", '"'), (V{"a"}));
  EXPECT_EQ(bg::SmartSplit(";a", ";", '"'), (V{"", "a"}));
  EXPECT_EQ(bg::SmartSplit("a;;b", ";", '"'), (V{"a", "", "b"}));
  EXPECT_EQ(bg::SmartSplit("", ";", '"'), (V{""}));
}

TEST(TextTest, SmartSplitDropsTextAfterUnbalancedQuote) {
  using V = std::vector<std::string>;
  EXPECT_EQ(bg::SmartSplit("a;b\"c", ";", '"'), (V{"a"}));
  EXPECT_EQ(bg::SmartSplit("a\"b", ";", '"'), (V{""}));
}

TEST(TextTest, SmartSplitLongSeparatorMatchesOneCharacterPerCut) {
  using V = std::vector<std::string>;
  EXPECT_EQ(bg::SmartSplit("a,b;c", ",;", '"'), (V{"a", "b", "c"}));
  EXPECT_EQ(bg::SmartSplit("a;b,c", ",;", '"'), (V{"a;b", "c"}));
  EXPECT_EQ(bg::SmartSplit("a,b;c,d", ",;", '"'), (V{"a", "b", "c,d"}));
}

TEST(TextTest, CleanValDropsComment) {
  EXPECT_EQ(bg::cleanVal(""), "");
  EXPECT_EQ(bg::cleanVal("  Width = 12 ; wide  "), "Width = 12");
  EXPECT_EQ(bg::cleanVal("; only a comment"), "");
  EXPECT_EQ(bg::cleanVal("k=\"a;b\" ; c"), "k=\"a;b\"");
}

// ---- In-memory model -----------------------------------------------------------------

TEST(ModelTest, SectionNamesNeedNotBeUnique) {
  bg::TSectionList list;
  bg::TIniSection* first = list.AddSection("a");
  bg::TIniSection* second = list.AddSection("a");
  list.AddSection("b");
  ASSERT_NE(first, second);
  EXPECT_EQ(list.GetSection("a"), first);
  EXPECT_EQ(list.GetSection("A"), nullptr);
  ASSERT_EQ(list.Items().size(), 3u);
  EXPECT_EQ(list.Items()[1].get(), second);
  EXPECT_EQ(list.Items()[2]->Name, "b");
}

TEST(ModelTest, ValuesGoToFirstSectionAndNeverCreateOne) {
  TVellIni ini = TVellIni::Create("/nonexistent/never-touched.ini");
  ini.SetSectionValue("s", "k", "v");
  EXPECT_EQ(ini.GetSection("s"), nullptr);
  ini.AddSection("s");
  ini.AddSection("s");
  ini.SetSectionValue("s", "k", "v");
  EXPECT_EQ(ini.Sections.Items()[0]->GetValue("k"), "v");
  EXPECT_TRUE(ini.Sections.Items()[1]->Values.empty());
  EXPECT_EQ(ini.GetSectionValue("s", "missing"), "");
  EXPECT_EQ(ini.GetSectionValue("missing", "k"), "");
}

TEST(ModelTest, SectionTextSortsKeysByCharacterCode) {
  bg::TIniSection s = bg::TIniSection::Create("network");
  for (const char* key : {"ServerPort", "ServerListPort", "ServerIP", "ServerListIP", "name", "Name"})
    s.SetValue(key, "1");
  EXPECT_EQ(s.GetSectionText(),
            "[network]\r\nName=1\r\nServerIP=1\r\nServerListIP=1\r\nServerListPort=1\r\n"
            "ServerPort=1\r\nname=1\r\n\r\n");
}

TEST(ModelTest, IniLoadDefFillsOnlyMissingOrEmpty) {
  TVellIni ini;
  EXPECT_EQ(bg::IniLoadDef(ini, "s", "a", "1"), "1");
  ini.SetSectionValue("s", "a", "7");
  EXPECT_EQ(bg::IniLoadDef(ini, "s", "a", "1"), "7");
  ini.SetSectionValue("s", "b", "");
  EXPECT_EQ(bg::IniLoadDef(ini, "s", "b", "2"), "2");
  EXPECT_EQ(ini.Sections.Items().size(), 1u);
}

TEST_F(IniFileTest, FirstStartLayoutByteForByte) {
  TVellIni ini = TVellIni::Create(Path());
  for (const bg::SettingKey& s : bg::kSettings) bg::IniLoadDef(ini, s.section, s.key, s.def ? s.def : "sPlayerfk");
  EXPECT_EQ(SavedText(ini),
            "[settings]\r\nBombkill=1\r\nEffects=1\r\nInvertArrows=0\r\nPan=1\r\nSound=1\r\n\r\n"
            "[minefield]\r\nHeight=9\r\nMines=10\r\nWidth=9\r\nWrap=1\r\n\r\n"
            "[network]\r\nName=sPlayerfk\r\nServerIP=192.168.0.1\r\nServerListIP=localhost\r\n"
            "ServerListPort=8201\r\nServerPort=8200\r\n\r\n");
}

// ---- Reading single lines ------------------------------------------------------------

TEST_F(IniFileTest, LineSpacesAndCommentAreStripped) {
  TVellIni ini = LoadNetworkLine("  Width = 12 ; wide  ");
  EXPECT_EQ(ini.GetSectionValue("network", "Width"), "12");
}

TEST_F(IniFileTest, LineCommentCutsUnquotedValue) {
  EXPECT_EQ(LoadNetworkLine("Name=a;b").GetSectionValue("network", "Name"), "a");
}

TEST_F(IniFileTest, LineQuotedValueKeepsQuotesAndSemicolon) {
  const std::string v = LoadNetworkLine("Name=\"a;b\"").GetSectionValue("network", "Name");
  EXPECT_EQ(v, "\"a;b\"");
  EXPECT_EQ(v.size(), 5u);
}

TEST_F(IniFileTest, LineSecondEqualsSignEndsValue) {
  EXPECT_EQ(LoadNetworkLine("Name=a=b").GetSectionValue("network", "Name"), "a");
}

TEST_F(IniFileTest, LineWithUnbalancedQuoteIsIgnored) {
  TVellIni ini = LoadNetworkLine("Name=O\"Brien");
  EXPECT_EQ(ini.GetSectionValue("network", "Name"), "old");
  EXPECT_EQ(ini.GetSection("network")->Values.size(), 1u);
}

TEST_F(IniFileTest, LineWithEmptyValueTakesDefault) {
  TVellIni ini = LoadNetworkLine("Pan=");
  ASSERT_EQ(ini.GetSection("network")->Values.count("Pan"), 1u);
  EXPECT_EQ(ini.GetSectionValue("network", "Pan"), "");
  EXPECT_EQ(bg::IniLoadDef(ini, "network", "Pan", "1"), "1");
}

TEST_F(IniFileTest, LineWithoutEqualsIsKeyWithEmptyValue) {
  TVellIni ini = LoadNetworkLine("Foo");
  ASSERT_EQ(ini.GetSection("network")->Values.count("Foo"), 1u);
  EXPECT_EQ(ini.GetSectionValue("network", "Foo"), "");
  EXPECT_NE(SavedText(ini).find("\r\nFoo=\r\n"), std::string::npos);
}

TEST_F(IniFileTest, LineWithEmptyKey) {
  TVellIni ini = LoadNetworkLine("=5");
  EXPECT_EQ(ini.GetSectionValue("network", ""), "5");
  EXPECT_EQ(SavedText(ini), "[network]\r\n=5\r\nName=old\r\n\r\n");
}

TEST_F(IniFileTest, CommentLineAddsNothing) {
  TVellIni ini = LoadNetworkLine("; a comment");
  EXPECT_EQ(ModelOf(ini), (Model{{"network", {{"Name", "old"}}}}));
}

TEST_F(IniFileTest, HeaderNameIsNotTrimmed) {
  TVellIni ini = LoadNetworkLine("[ settings ]\r\nk=1");
  ASSERT_NE(ini.GetSection(" settings "), nullptr);
  EXPECT_EQ(ini.GetSection("settings"), nullptr);
  EXPECT_EQ(ini.GetSectionValue(" settings ", "k"), "1");
}

// ---- Reading whole files -------------------------------------------------------------

TEST_F(IniFileTest, RepeatedHeaderKeysLandInFirstSection) {
  TVellIni ini = LoadText("[settings]\r\na=1\r\n[other]\r\no=1\r\n[settings]\r\nb=2\r\n");
  EXPECT_EQ(ModelOf(ini), (Model{{"settings", {{"a", "1"}, {"b", "2"}}},
                                 {"other", {{"o", "1"}}},
                                 {"settings", {}}}));
  EXPECT_EQ(SavedText(ini),
            "[settings]\r\na=1\r\nb=2\r\n\r\n[other]\r\no=1\r\n\r\n[settings]\r\n\r\n");
}

TEST_F(IniFileTest, KeyBeforeAnyHeaderStopsReading) {
  TVellIni ini = LoadText("x=1\r\n[settings]\r\nPan=1\r\n");
  EXPECT_TRUE(ini.Sections.Items().empty());
  ini.AddSection("settings");
  ini.SetSectionValue("settings", "Pan", "0");
  EXPECT_EQ(SavedText(ini), "[settings]\r\nPan=0\r\n\r\n");
}

TEST_F(IniFileTest, EmptyHeaderThenKeyStopsReading) {
  TVellIni ini = LoadText("[a]\nk=1\n[]\n\n; note\nx=2\n[b]\ny=3\n");
  EXPECT_EQ(ModelOf(ini), (Model{{"a", {{"k", "1"}}}, {"", {}}}));
}

TEST_F(IniFileTest, LineEndingsReadTheSame) {
  const Model want{{"s", {{"a", "1"}, {"b", "2"}}}};
  EXPECT_EQ(ModelOf(LoadText("[s]\na=1\nb=2\n")), want);
  EXPECT_EQ(ModelOf(LoadText("[s]\r\na=1\r\nb=2\r\n")), want);
  EXPECT_EQ(ModelOf(LoadText("[s\r]\r\r\na\r=1\r\nb=\r2")), want);
}

TEST_F(IniFileTest, ZeroByteEndsLine) {
  TVellIni ini = LoadText(std::string("[s]\r\nk=1\0junk\r\nm=2\0", 19));
  EXPECT_EQ(ModelOf(ini), (Model{{"s", {{"junk", ""}, {"k", "1"}, {"m", "2"}}}}));
}

TEST_F(IniFileTest, MissingFileOrDirectoryLeavesModelAlone) {
  TVellIni ini = TVellIni::Create(Path("absent.ini"));
  ini.AddSection("s");
  ini.SetSectionValue("s", "k", "v");
  ini.Load();
  fs::create_directory(Path("dir.ini"));
  ini.Filename = Path("dir.ini");
  ini.Load();
  EXPECT_EQ(ModelOf(ini), (Model{{"s", {{"k", "v"}}}}));
  EXPECT_FALSE(fs::exists(Path("absent.ini")));
}

TEST_F(IniFileTest, OversizeFileReadsOnlyWholeLinesOfFirstMiB) {
  constexpr size_t kCap = size_t(1) << 20;
  std::string text = "[s]\r\nearly=1\r\n;";
  text += std::string(kCap - 10 - text.size(), 'x') + "\r\n";
  text += "cut=0123456789\r\nlate=1\r\n";
  TVellIni ini = LoadText(text);
  EXPECT_EQ(ModelOf(ini), (Model{{"s", {{"early", "1"}}}}));
}

TEST_F(IniFileTest, HugeFileWithoutNewlineReadsNothing) {
  TVellIni ini = LoadText("[s]" + std::string(3u << 20, 'k'));
  EXPECT_TRUE(ini.Sections.Items().empty());
}

// ---- Character set -------------------------------------------------------------------

TEST_F(IniFileTest, CharacterAbove255IsWrittenAsQuestionMark) {
  TVellIni ini = TVellIni::Create(Path());
  ini.AddSection("network");
  ini.SetSectionValue("network", "Name", "x\xC4\x8Ay");  // U+010A, low byte LF
  const std::string text = SavedText(ini);
  EXPECT_EQ(text, "[network]\r\nName=x?y\r\n\r\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(IniFileTest, Latin1ByteReadsAsUtf8AndIsWrittenBack) {
  TVellIni ini = LoadText("[network]\r\nName=Ren\xE9\r\n");
  EXPECT_EQ(ini.GetSectionValue("network", "Name"), "Ren\xC3\xA9");
  EXPECT_EQ(SavedText(ini), "[network]\r\nName=Ren\xE9\r\n\r\n");
}

// ---- Saving --------------------------------------------------------------------------

TEST_F(IniFileTest, SaveReplacesExistingFileOnlyWhenForced) {
  WriteFile(Path(), "old");
  TVellIni ini = TVellIni::Create(Path());
  ini.AddSection("s");
  EXPECT_FALSE(ini.Save(0));
  EXPECT_EQ(ReadFile(Path()), "old");
  EXPECT_TRUE(ini.Save(1));
  EXPECT_EQ(ReadFile(Path()), "[s]\r\n\r\n");
}

TEST_F(IniFileTest, SaveCreatesMissingFileWithoutForce) {
  TVellIni ini = TVellIni::Create(Path());
  ini.AddSection("s");
  EXPECT_TRUE(ini.Save(0));
  EXPECT_EQ(ReadFile(Path()), "[s]\r\n\r\n");
}

TEST_F(IniFileTest, SaveLeavesNoTemporaryFile) {
  TVellIni ini = TVellIni::Create(Path());
  ini.AddSection("s");
  ASSERT_TRUE(ini.Save(1));
  ASSERT_TRUE(ini.Save(1));
  EXPECT_EQ(DirEntries(dir_), (std::set<std::string>{"settings.ini"}));
}

TEST_F(IniFileTest, SaveOntoDirectoryDoesNothing) {
  fs::create_directory(Path());
  TVellIni ini = TVellIni::Create(Path());
  ini.AddSection("s");
  EXPECT_FALSE(ini.Save(1));
  EXPECT_TRUE(fs::is_directory(Path()));
  EXPECT_TRUE(fs::is_empty(Path()));
  EXPECT_EQ(DirEntries(dir_), (std::set<std::string>{"settings.ini"}));
}

TEST_F(IniFileTest, SaveIntoMissingDirectoryFailsQuietly) {
  TVellIni ini = TVellIni::Create(Path("nodir/settings.ini"));
  ini.AddSection("s");
  ini.SetSectionValue("s", "k", "v");
  EXPECT_FALSE(ini.Save(1));
  EXPECT_EQ(ini.GetSectionValue("s", "k"), "v");
  EXPECT_TRUE(DirEntries(dir_).empty());
}

TEST_F(IniFileTest, SaveKeepsFileModeAndSymlink) {
  WriteFile(Path("real.ini"), "old");
  ASSERT_EQ(::chmod(Path("real.ini").c_str(), 0640), 0);
  fs::create_symlink("real.ini", Path());
  TVellIni ini = TVellIni::Create(Path());
  ini.AddSection("s");
  ASSERT_TRUE(ini.Save(1));
  EXPECT_TRUE(fs::is_symlink(Path()));
  EXPECT_EQ(ReadFile(Path("real.ini")), "[s]\r\n\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(Path("real.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(DirEntries(dir_), (std::set<std::string>{"real.ini", "settings.ini"}));
}

TEST_F(IniFileTest, LoadSaveLoadKeepsModel) {
  const std::string text =
      "; settings\r\n[settings]\r\nPan = 1 ; on\r\nName=\"a;b\"\r\nNick=Ren\xE9\r\n=5\r\nFoo\r\n"
      "\r\n[ spaced ]\r\nk=\"x=y\"\r\n[settings]\r\nlate=2\r\n[empty]\r\n";
  TVellIni first = LoadText(text);
  ASSERT_EQ(first.Sections.Items().size(), 4u);
  ASSERT_TRUE(first.Save(1));
  TVellIni second = TVellIni::Create(Path());
  second.Load();
  EXPECT_EQ(ModelOf(second), ModelOf(first));
  EXPECT_EQ(second.GetSectionValue("settings", "late"), "2");
}

// A key line that would read back as a section header is not written: it
// would move every later key of its section into a new one.
TEST_F(IniFileTest, KeyThatLooksLikeAHeaderIsNotWritten) {
  TVellIni first = LoadText("[a]\r\n[k=v]=x\r\nz=1\r\n");
  ASSERT_EQ(first.GetSectionValue("a", "[k"), "v]");
  ASSERT_TRUE(first.Save(1));
  TVellIni second = TVellIni::Create(Path());
  second.Load();
  EXPECT_EQ(second.Sections.Items().size(), 1u);
  EXPECT_EQ(second.GetSectionValue("a", "z"), "1");
  EXPECT_EQ(second.GetSectionValue("a", "[k"), "");
}

}  // namespace
