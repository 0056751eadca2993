#include "app/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace bg {

namespace {
bool IsDir(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// Creates each missing component private to the player, as the XDG layout asks.
bool MakeDirs(const std::string& path) {
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && !IsDir(part)) return false;
    if (at == std::string::npos) return true;
  }
}
}  // namespace

std::string UserDataDir(const std::string& exeDir) {
  if (IsDir(exeDir + "/res") && ::access(exeDir.c_str(), W_OK) == 0) return exeDir;
  // The XDG layout ignores a relative XDG_CONFIG_HOME; without an absolute HOME there is no fallback.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/') base = xdg;
  else if (home != nullptr && home[0] == '/') base = std::string(home) + "/.config";
  else return "";
  const std::string dir = base + "/blastgrid";
  return MakeDirs(dir) ? dir : "";
}

std::string ResourceDir(const std::string& exeDir) {
  // The install rules put the executable in <prefix>/games and res/ in <prefix>/share/blastgrid.
  for (const char* sub : {"/res", "/../share/blastgrid/res"})
    if (IsDir(exeDir + sub)) return exeDir + sub;
  return "";
}

}  // namespace bg
