// A point in frame pixels.
#pragma once

namespace vgui {

struct CPoint {
  double x = 0;
  double y = 0;

  CPoint() = default;
  CPoint(double px, double py) : x(px), y(py) {}
  CPoint& offset(double dx, double dy) {
    x += dx;
    y += dy;
    return *this;
  }
  bool operator==(const CPoint& other) const = default;
};

}  // namespace vgui
