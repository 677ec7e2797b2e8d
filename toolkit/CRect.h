// An axis-aligned rectangle: left/top inclusive, right/bottom exclusive.
#pragma once

#include "toolkit/CPoint.h"

namespace vgui {

struct CRect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;

  CRect() = default;
  CRect(double l, double t, double r, double b) : left(l), top(t), right(r), bottom(b) {}
  CRect(const CPoint& origin, double width, double height)
      : left(origin.x), top(origin.y), right(origin.x + width), bottom(origin.y + height) {}

  double getWidth() const { return right - left; }
  double getHeight() const { return bottom - top; }
  CPoint getTopLeft() const { return {left, top}; }
  bool isEmpty() const { return right <= left || bottom <= top; }

  CRect& offset(double dx, double dy);
  CRect& moveTo(double x, double y);
  CRect& setSize(double width, double height);
  CRect& inset(double dx, double dy);
  bool pointInside(const CPoint& p) const;
  bool rectOverlap(const CRect& other) const;
  // Intersection; empty when the two do not overlap.
  CRect& bound(const CRect& other);
  // Smallest rectangle holding both; an empty side is ignored.
  CRect& unite(const CRect& other);

  bool operator==(const CRect& other) const = default;
};

}  // namespace vgui
