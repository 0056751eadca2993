#include "app/globals.h"

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

TVellIni ini = TVellIni::Create("config.ini");

}  // namespace bg
