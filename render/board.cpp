#include "render/board.h"

#include <cmath>

namespace bg {

float framex = 26.0f, framey = 26.0f;

double PointDistance(double x1, double y1, double x2, double y2) {
  return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

}  // namespace bg
