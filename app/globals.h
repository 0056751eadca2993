#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "platform/sound.h"
#include "render/resources.h"

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

// The explosion, loaded once (the pictures and fonts are the drawing's: render/resources.h).
extern SoundRef SExplosion;

// The settings file, bound to "config.ini".
extern TVellIni ini;

}  // namespace bg
