#pragma once
#include <string>

namespace bg {

// Settings with their defaults, read in the order the file's sections are
// first asked for, then written straight back.
void LoadSettings();

// Everything start-up does before the main loop, through the installed gadget
// and audio backends. On failure `error` says why (a missing resource names its file).
bool Initialise(std::string& error, bool requireResources = true);

// The program: start-up, then the main loop until the game ends. Returns the exit status.
int StartUp();

}  // namespace bg
