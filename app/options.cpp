#include "app/options.h"

#include <cassert>
#include <limits>
#include <type_traits>

#include "app/gadgets.h"
#include "app/windows.h"
#include "minefield/game.h"

namespace bg {

namespace {
// Yes/no bytes take any number and keep its low 8 bits.
constexpr int32_t kAny = std::numeric_limits<int32_t>::min(), kAll = std::numeric_limits<int32_t>::max();
constexpr int32_t kSide = int32_t(kMaxBlocks);
// A field keeps more than 12 blocks free of mines, so even the largest holds this many at most.
constexpr int32_t kMostMines = int32_t(kMaxBlocks - 13);
}  // namespace

constexpr std::array<OptionDecl, 14> kOptions{{
    {"settings", "Bombkill", &Options::oBombLose, "1", kAny, kAll, &gOptionBombL, true},
    {"settings", "Pan", &Options::oPan, "1", kAny, kAll, &gOptionPan, true},
    {"settings", "InvertArrows", &Options::oInverted, "0", kAny, kAll, &gOptionInvert, true},
    {"minefield", "Width", &Options::oWidth, "9", 1, kSide, &gOptionWidth, true},
    {"minefield", "Height", &Options::oHeight, "9", 1, kSide, &gOptionHeight, true},
    {"minefield", "Mines", &Options::oMines, "10", 0, kMostMines, &gOptionMines, true},
    {"minefield", "Wrap", &Options::oWrap, "1", kAny, kAll, &gOptionWrap, true},
    {"settings", "Sound", &Options::oSound, "1", kAny, kAll, &gOptionSound, true},
    {"settings", "Effects", &Options::oEffects, "1", kAny, kAll, nullptr, false},
    {"network", "ServerPort", &Options::oPort, "8200", 0, 0, &gDirectPort, false},
    {"network", "ServerIP", &Options::oIP, "192.168.0.1", 0, 0, &gDirectIP, false},
    {"network", "Name", &Options::oName, nullptr, 0, 0, &gSettingsName, false},
    {"network", "ServerListPort", &Options::oListPort, "8201", 0, 0, nullptr, false},
    {"network", "ServerListIP", &Options::oListIP, "localhost", 0, 0, nullptr, false},
}};

const OptionDecl& Option(std::string_view key) {
  for (const OptionDecl& d : kOptions)
    if (key == d.key) return d;
  assert(!"not a settings key");
  return kOptions[0];
}

Options DefaultOptions() {
  Options o{};
  for (const OptionDecl& d : kOptions) SetOption(d, o, d.def ? d.def : "");
  return o;
}

std::string OptionText(const OptionDecl& d, const Options& o) {
  return std::visit(
      [&](auto m) {
        if constexpr (std::is_same_v<decltype(m), std::string Options::*>) return o.*m;
        else return std::to_string(int32_t(o.*m));
      },
      d.member);
}

bool SetOption(const OptionDecl& d, Options& o, const std::string& text) {
  return std::visit(
      [&](auto m) {
        using T = std::remove_reference_t<decltype(o.*m)>;
        if constexpr (std::is_same_v<T, std::string>) {
          o.*m = text;
        } else {
          const int32_t v = TextToInt(text);
          if (v < d.min || v > d.max) return false;
          o.*m = T(v);
        }
        return true;
      },
      d.member);
}

std::vector<std::string> ReadOptions(TVellIni& ini, Options& o, const std::string& name) {
  std::vector<std::string> replaced;
  const auto useDefault = [&](const OptionDecl& d) {
    replaced.push_back("config.ini: " + std::string(d.key) + " " + ini.GetSectionValue(d.section, d.key) +
                       " is out of range; using " + d.def);
    SetOption(d, o, d.def);
    ini.SetSectionValue(d.section, d.key, d.def);
  };
  for (const OptionDecl& d : kOptions)
    if (!SetOption(d, o, IniLoadDef(ini, d.section, d.key, d.def ? d.def : name))) useDefault(d);
  // Numbers each in range can still make a field no game starts on: the mine
  // count gives way first, then the sides.
  const Options defaults = DefaultOptions();
  for (const char* key : {"Mines", "Width", "Height"}) {
    const OptionDecl& d = Option(key);
    if (GameSetupValid(o.oWidth, o.oHeight, o.oMines)) break;
    if (OptionText(d, o) != OptionText(d, defaults)) useDefault(d);
  }
  return replaced;
}

void StoreOption(TVellIni& ini, const OptionDecl& d, const Options& o) {
  ini.SetSectionValue(d.section, d.key, OptionText(d, o));
}

void ShowOptions(const Options& o) {
  Gui& gui = TheGui();
  for (const OptionDecl& d : kOptions) {
    if (!d.control || !*d.control) continue;
    if (auto* m = std::get_if<uint8_t Options::*>(&d.member))
      gui.SetButtonState(*d.control, o.**m != 0);
    else
      gui.SetText(*d.control, OptionText(d, o));
  }
}

Options OptionsFromWindow(Options o) {
  Gui& gui = TheGui();
  for (const OptionDecl& d : kOptions) {
    if (!d.onOk || !*d.control) continue;
    if (auto* b = std::get_if<uint8_t Options::*>(&d.member)) o.**b = gui.ButtonState(*d.control);
    if (auto* n = std::get_if<int32_t Options::*>(&d.member)) o.**n = NumberFieldInt(*d.control);
    if (auto* s = std::get_if<std::string Options::*>(&d.member)) o.**s = gui.Text(*d.control);
  }
  return o;
}

bool OptionsValid(const Options& o) {
  for (const OptionDecl& d : kOptions)
    if (auto* n = std::get_if<int32_t Options::*>(&d.member); n && (o.**n < d.min || o.**n > d.max)) return false;
  return GameSetupValid(o.oWidth, o.oHeight, o.oMines);
}

}  // namespace bg
