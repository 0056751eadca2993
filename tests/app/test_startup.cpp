#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/paths.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "net/serverlist.h"
#include "tests/support/world.h"

using namespace bg;
using bg::test::ReadFile;
using bg::test::WriteFile;

namespace {
struct Startup : ::testing::Test {
  test::TempDir dir;
  test::World world;
};
}  // namespace

TEST_F(Startup, FirstStartWritesEveryKeyWithDefaults) {
  ASSERT_TRUE(world.Start());
  EXPECT_EQ(ReadFile("config.ini"),
            "[settings]\r\nBombkill=1\r\nEffects=1\r\nInvertArrows=0\r\nPan=1\r\nSound=1\r\n\r\n"
            "[minefield]\r\nHeight=9\r\nMines=10\r\nWidth=9\r\nWrap=1\r\n\r\n"
            "[network]\r\nName=sPlayerfk\r\nServerIP=192.168.0.1\r\nServerListIP=localhost\r\n"
            "ServerListPort=8201\r\nServerPort=8200\r\n\r\n");
  // The default name and colour are the generator's first draws from its initial state.
  EXPECT_EQ(color, (RGB{38, 146, 43}));
  EXPECT_EQ(gGame.Blocks.size(), 81u);
  EXPECT_EQ(TServerList::IPs[0], "localhost");
  // The next start finds the file as it would write it and leaves it alone.
  struct stat before {}, after {};
  ASSERT_EQ(::stat("config.ini", &before), 0);
  EXPECT_TRUE(LoadSettings(ini, gOptions).empty());
  ASSERT_EQ(::stat("config.ini", &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  const Background& b = gView.back;
  for (size_t i = 0; i < 3; ++i)
    EXPECT_TRUE(b.backalpha[i] >= 0 && b.backalpha[i] < 1 && b.backcol[i] >= 1 && b.backcol[i] <= 3);  // the background is seeded
}

// Missing keys, empty values and numbers out of range take their defaults, and so are saved.
TEST_F(Startup, OptionTextsConvertAsTheFileReaderSays) {
  WriteFile("config.ini",
            "[settings]\nBombkill=256\nPan=-1\nInvertArrows=$1\n[minefield]\nWidth=%1100\nHeight=+$c\n"
            "Mines=140\nWrap=0\n[network]\nName=\nServerListPort=abc\nServerListIP=lists.example\n");
  ASSERT_TRUE(world.Start());
  std::string all;
  for (const OptionDecl& d : kOptions) all += OptionText(d, gOptions) + "|";
  EXPECT_EQ(all, "0|255|1|12|12|10|0|1|1|8200|192.168.0.1|sPlayerfk|abc|lists.example|");
  EXPECT_EQ(TServerList::Ports[0], 0);
  EXPECT_EQ(TServerList::IPs, (decltype(TServerList::IPs){"lists.example", "localhost"}));
  const std::string saved = ReadFile("config.ini");
  for (const char* line : {"Mines=10\r\n", "Name=sPlayerfk\r\n", "Effects=1\r\n", "Bombkill=256\r\n"})
    EXPECT_NE(saved.find(line), std::string::npos) << line;  // a number's text is kept as written
  EXPECT_EQ(world.gui.Text(gChatConsole), "\n config.ini: Mines 140 is out of range; using 10");
  EXPECT_EQ(gGame.Blocks.size(), 144u);
}

TEST_F(Startup, OutOfRangeNumbersTakeTheirDefaults) {
  const std::array<const char*, 3> cases[] = {  // given; width, height, mines kept; lines
      {"Mines=99", "9 9 10", "Mines 99 is out of range; using 10|"},
      {"Mines=$fFfF", "9 9 10", "Mines $fFfF is out of range; using 10|"},
      {"Mines=-1\nWidth=12", "12 9 10", "Mines -1 is out of range; using 10|"},
      {"Width=0\nMines=5", "9 9 5", "Width 0 is out of range; using 9|"},
      {"Height=9999999\nWidth=3", "3 9 10", "Height 9999999 is out of range; using 9|"},
      {"Width=2\nHeight=2", "9 9 10", "Width 2 is out of range; using 9|Height 2 is out of range; using 9|"}};
  for (const auto& [given, kept, want] : cases) {
    WriteFile("config.ini", "[minefield]\n" + std::string(given) + "\n");
    std::string lines, values;
    for (const std::string& line : LoadSettings(ini, gOptions)) lines += line.substr(line.find(' ') + 1) + "|";
    for (const char* key : {"Width", "Height", "Mines"}) {
      values += (values.empty() ? "" : " ") + ini.GetSectionValue("minefield", key);
      EXPECT_EQ(OptionText(Option(key), gOptions), ini.GetSectionValue("minefield", key)) << given;  // saved as used
    }
    EXPECT_EQ(lines, want) << given;
    EXPECT_EQ(values, kept) << given;
    EXPECT_TRUE(ini.Holds()) << given;
  }
}

TEST_F(Startup, ALargeFontWidensTheMultiplayerWindowAndItsLabels) {
  world.gui.charW = 10;  // tab row 518 wide, "Server Port" 110
  ASSERT_TRUE(world.Start());
  MemoryGui& g = world.gui;
  EXPECT_EQ(g.ClientWidth(gMultiTabber), g.TextWidth(gMultiTabber));
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->minW, g.Width(gMultiWindow));
  EXPECT_EQ(g.X(gChatSend), g.ClientWidth(gMultiTabber) - 60);  // the pages are built in the wider window
  EXPECT_EQ(g.Width(gDirectPortTag), 110);
  EXPECT_EQ(g.Width(gDirectIPTag), 90);
  for (Gadget* field : {gDirectIP, gDirectPort}) EXPECT_EQ(g.X(field), 8 + 110 + 2);
  EXPECT_EQ(g.X(gSettingsName), 100);  // "Name:" still fits its 70
}

TEST_F(Startup, MissingResourceIsNamed) {
  std::string error;
  EXPECT_FALSE(Initialise(error, true));
  EXPECT_NE(error.find("res/back1.jpg"), std::string::npos) << error;
}

// A game with res/ beside it in a writable directory keeps its files there; an installed one reads
// res/ from share/ and writes under XDG_CONFIG_HOME, or ~/.config when that is unset or relative.
TEST_F(Startup, PortableGamesKeepTheirFilesBesideThemInstalledOnesInTheConfigurationDirectory) {
  const std::string d = dir.path;
  for (const char* sub : {"/game/res", "/usr/bin", "/usr/share/blastgrid/res", "/h"})
    std::filesystem::create_directories(d + sub);
  setenv("HOME", (d + "/h").c_str(), 1);
  const struct { std::string exe, xdg, data, res; } cases[] = {
      {d + "/game", d + "/x", d + "/game", d + "/game/res"},
      {d + "/usr/bin", d + "/x/y", d + "/x/y/blastgrid", d + "/usr/bin/../share/blastgrid/res"},
      {d + "/usr/bin", "x", d + "/h/.config/blastgrid", d + "/usr/bin/../share/blastgrid/res"},
      {d + "/none", d + "/game/res/back1.jpg", "", ""}};  // no place for either
  WriteFile(d + "/game/res/back1.jpg", "");
  for (const auto& c : cases) {
    setenv("XDG_CONFIG_HOME", c.xdg.c_str(), 1);
    EXPECT_EQ(UserDataDir(c.exe), c.data) << c.exe << " " << c.xdg;
    EXPECT_EQ(ResourceDir(c.exe), c.res) << c.exe;
    EXPECT_TRUE(c.data.empty() || std::filesystem::is_directory(c.data)) << c.data;
  }
}
