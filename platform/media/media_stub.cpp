#include "platform/gfx.h"
namespace bg {
ImageRef LoadImage(const std::string&, int) { return nullptr; }
FontRef LoadImageFont(const std::string&, int, int) { return nullptr; }
}
