#pragma once
#include "app/options.h"
#include "app/settings.h"
#include "minefield/game.h"
#include "platform/sound.h"
#include "render/view.h"

// Program-wide options and resources, set at start-up.
namespace bg {

// The options, read from the settings file at start-up.
extern Options gOptions;

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
