#include "toolkit/CRect.h"

#include <algorithm>

namespace vgui {

CRect& CRect::offset(double dx, double dy) {
  left += dx;
  right += dx;
  top += dy;
  bottom += dy;
  return *this;
}

CRect& CRect::moveTo(double x, double y) { return offset(x - left, y - top); }

CRect& CRect::setSize(double width, double height) {
  right = left + width;
  bottom = top + height;
  return *this;
}

CRect& CRect::inset(double dx, double dy) {
  left += dx;
  right -= dx;
  top += dy;
  bottom -= dy;
  return *this;
}

bool CRect::pointInside(const CPoint& p) const {
  return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
}

bool CRect::rectOverlap(const CRect& other) const {
  return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
}

CRect& CRect::bound(const CRect& other) {
  left = std::max(left, other.left);
  top = std::max(top, other.top);
  right = std::min(right, other.right);
  bottom = std::min(bottom, other.bottom);
  if (isEmpty()) *this = CRect(left, top, left, top);
  return *this;
}

CRect& CRect::unite(const CRect& other) {
  if (other.isEmpty()) return *this;
  if (isEmpty()) return *this = other;
  left = std::min(left, other.left);
  top = std::min(top, other.top);
  right = std::max(right, other.right);
  bottom = std::max(bottom, other.bottom);
  return *this;
}

}  // namespace vgui
