#pragma once
#include <string>
#include <vector>

#include "app/options.h"

namespace bg {

// The options from the settings' file afresh, with their defaults, read in the order the
// file's sections are first asked for, then written straight back. Returns a
// line for each value replaced by its default.
std::vector<std::string> LoadSettings(TVellIni& settings, Options& options);

// Everything start-up does before the main loop, through the installed gadget
// and audio backends, with the pictures, sound and font from `resDir`. On failure `error`
// says why (a missing resource names its file).
bool Initialise(std::string& error, bool requireResources = true, const std::string& resDir = "res");

// The program: start-up, then the main loop until the game ends. Returns the exit status.
int StartUp(const std::string& resDir);

}  // namespace bg
