#pragma once

// The board's top-left corner in design units.
namespace bg {
extern float framex, framey;

double PointDistance(double x1, double y1, double x2, double y2);
// Draws every block and the frame around the board on the current context.
void DrawBlocks();
}  // namespace bg
