#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "app/settings.h"
#include "minefield/game.h"
#include "platform/sound.h"
#include "render/view.h"

// Program-wide options and resources, set at start-up.
namespace bg {

// Options read from the settings file.
extern uint8_t oBombLose;
extern uint8_t oPan;
extern uint8_t oInverted;
extern int32_t oWidth;
extern int32_t oHeight;
extern int32_t oMines;
extern uint8_t oWrap;
extern uint8_t oSound;
extern uint8_t oEffects;
extern std::string oPort;
extern std::string oIP;
extern std::string oName;
extern std::string oListPort;
extern std::string oListIP;

// One key of the settings file: where it lives, the option it sets and its default.
struct SettingKey {
  const char* section;
  const char* key;
  std::variant<uint8_t*, int32_t*, std::string*> option;  // yes/no bytes, numbers, texts
  const char* def;  // null: made up at start-up (the player name)
};
// The fourteen keys, in the order start-up reads them (which orders the file's sections).
extern const std::array<SettingKey, 14> kSettings;
// The key of that name; every name used is one of the fourteen.
const SettingKey& Setting(std::string_view key);
// The option's value as the file holds it.
std::string SettingText(const SettingKey& s);
// Sets the option from the file's text: numbers as TextToInt reads them, bytes their low 8 bits.
void SetOption(const SettingKey& s, const std::string& text);
// Puts the option's value into the settings model (the caller saves).
void StoreSetting(std::string_view key);

// The explosion, loaded once.
extern SoundRef SExplosion;

// The game the main window shows and plays: one per window, and the program has one.
extern Game gGame;
// What the board canvas shows of it, and the pictures and fonts it is drawn with.
extern View gView;
extern Resources gRes;
// The local player's colour, chosen at random at start-up.
extern RGB color;

// The settings file, bound to "config.ini".
extern TVellIni ini;

}  // namespace bg
