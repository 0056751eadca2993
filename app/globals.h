#pragma once
#include "app/options.h"
#include "app/settings.h"
#include "platform/sound.h"
#include "render/resources.h"

// Program-wide options and resources, set at start-up.
namespace bg {

// The options, read from the settings file at start-up.
extern Options gOptions;

// The explosion, loaded once (the pictures and fonts are the drawing's: render/resources.h).
extern SoundRef SExplosion;

// The settings file, bound to "config.ini".
extern TVellIni ini;

}  // namespace bg
