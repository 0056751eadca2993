#include "app/globals.h"

namespace bg {

Options gOptions = DefaultOptions();

Game gGame;
View gView;
Resources gRes;
RGB color{0, 0, 0};

TVellIni ini = TVellIni::Create("config.ini");

}  // namespace bg
