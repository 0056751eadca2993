#include "render/background.h"

namespace bg {

uint8_t backtype = 1;
std::array<float, 3> backalpha{0, 0, 0};
std::array<int32_t, 3> backalphainc{0, 0, 0};
std::array<int32_t, 3> backcol{1, 1, 1};
std::array<SImageRef, 3> backimg;

}  // namespace bg
