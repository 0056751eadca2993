#include "app/globals.h"

namespace bg {

Options gOptions = DefaultOptions();

SoundRef SExplosion;

TVellIni ini = TVellIni::Create("config.ini");

}  // namespace bg
