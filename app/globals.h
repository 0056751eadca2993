#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "platform/gfx.h"
#include "platform/sound.h"
#include "render/simage.h"

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

// Pictures, sound and fonts, loaded once.
extern SImageRef IBack1, IBack2, IBack3, IBackImg;
extern SImageRef IBlock, IBlockRev, IFlag, IMine, IClock, ITextBox;
extern ImageRef IMineImg;
extern SoundRef SExplosion;
extern FontRef FArialBold40, FArialBold20;

// The settings file, bound to "config.ini".
extern TVellIni ini;

// 1 ends the main loop.
extern uint8_t ending;

}  // namespace bg
