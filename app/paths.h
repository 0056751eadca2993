#pragma once
#include <string>

// Where the game's files are. A writable directory holding the executable with res/ beside
// it (a build tree, a folder copied anywhere) keeps everything there; an installed game
// reads res/ from <prefix>/share/blastgrid and writes to the player's configuration directory.
namespace bg {

// The directory for config.ini and every other file the game writes: the executable's own
// in the portable layout, else $XDG_CONFIG_HOME/blastgrid (~/.config/blastgrid), created
// as needed. "" when neither can be had. The game makes it its working directory at start,
// so files named without a directory ("config.ini") are kept there.
std::string UserDataDir(const std::string& exeDir);

// The directory holding the pictures, sound and font: res/ beside the executable, else the
// installed data directory. "" when there is neither.
std::string ResourceDir(const std::string& exeDir);

}  // namespace bg
