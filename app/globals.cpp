#include "app/globals.h"

#include <cassert>

namespace bg {

uint8_t oBombLose = 1;
uint8_t oPan = 1;
uint8_t oInverted = 0;
int32_t oWidth = 9;
int32_t oHeight = 9;
int32_t oMines = 10;
uint8_t oWrap = 1;
uint8_t oSound = 1;
uint8_t oEffects = 1;
std::string oPort = "8200";
std::string oIP = "192.168.0.1";
std::string oName;
std::string oListPort = "8201";
std::string oListIP = "localhost";

SoundRef SExplosion;
Game gGame;
View gView;
Resources gRes;
RGB color{0, 0, 0};

TVellIni ini = TVellIni::Create("config.ini");

const std::array<SettingKey, 14> kSettings{{
    {"settings", "Bombkill", &oBombLose, "1"},
    {"settings", "Pan", &oPan, "1"},
    {"settings", "InvertArrows", &oInverted, "0"},
    {"minefield", "Width", &oWidth, "9"},
    {"minefield", "Height", &oHeight, "9"},
    {"minefield", "Mines", &oMines, "10"},
    {"minefield", "Wrap", &oWrap, "1"},
    {"settings", "Sound", &oSound, "1"},
    {"settings", "Effects", &oEffects, "1"},
    {"network", "ServerPort", &oPort, "8200"},
    {"network", "ServerIP", &oIP, "192.168.0.1"},
    {"network", "Name", &oName, nullptr},
    {"network", "ServerListPort", &oListPort, "8201"},
    {"network", "ServerListIP", &oListIP, "localhost"},
}};

const SettingKey& Setting(std::string_view key) {
  for (const SettingKey& s : kSettings)
    if (key == s.key) return s;
  assert(!"not a settings key");
  return kSettings[0];
}

std::string SettingText(const SettingKey& s) {
  if (auto* b = std::get_if<uint8_t*>(&s.option)) return std::to_string(int(**b));
  if (auto* n = std::get_if<int32_t*>(&s.option)) return std::to_string(**n);
  return *std::get<std::string*>(s.option);
}

void SetOption(const SettingKey& s, const std::string& text) {
  if (auto* b = std::get_if<uint8_t*>(&s.option))
    **b = uint8_t(TextToInt(text));
  else if (auto* n = std::get_if<int32_t*>(&s.option))
    **n = TextToInt(text);
  else
    *std::get<std::string*>(s.option) = text;
}

void StoreSetting(std::string_view key) {
  const SettingKey& s = Setting(key);
  ini.SetSectionValue(s.section, s.key, SettingText(s));
}

}  // namespace bg
