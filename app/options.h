#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/settings.h"
#include "platform/gui.h"

// The program's options: their values in one Options, and each one's place in
// the settings file, default, range and control declared once in kOptions.
namespace bg {

struct Options {
  uint8_t oBombLose, oPan, oInverted;
  int32_t oWidth, oHeight, oMines;
  uint8_t oWrap, oSound, oEffects;
  std::string oPort, oIP, oName, oListPort, oListIP;
};

// One option: yes/no bytes take the low 8 bits of the number, numbers must lie
// in [min, max], texts are taken as they are.
struct OptionDecl {
  const char* section;
  const char* key;
  std::variant<uint8_t Options::*, int32_t Options::*, std::string Options::*> member;
  const char* def;  // null: made up at start-up (the player name)
  int32_t min, max;
  Gadget** control;  // the check box or field showing it, or null
  bool onOk;         // read from its control and saved when the options window is accepted
};

// The fourteen options, in the order start-up reads them (which orders the file's sections).
extern const std::array<OptionDecl, 14> kOptions;
// The declaration of that key; every key named is one of the fourteen.
const OptionDecl& Option(std::string_view key);

// Every option at its default; the made-up name is empty.
Options DefaultOptions();
// The option's value as the file holds it.
std::string OptionText(const OptionDecl& d, const Options& o);
// Sets the option from the file's text; false when the number is out of range (nothing set).
bool SetOption(const OptionDecl& d, Options& o, const std::string& text);

// Reads every option from ini, storing the default of a missing, empty or
// out-of-range key into ini, and of a mine count the field cannot hold. Returns
// one line per value replaced.
std::vector<std::string> ReadOptions(TVellIni& ini, Options& o, const std::string& name);
// Puts the option's value into ini (the caller saves).
void StoreOption(TVellIni& ini, const OptionDecl& d, const Options& o);

// The options' controls set from o.
void ShowOptions(const Options& o);
// o with the options saved on "Ok" read from their controls.
Options OptionsFromWindow(Options o);
// Every bound number in its range and a field that StartGame accepts.
bool OptionsValid(const Options& o);

}  // namespace bg
