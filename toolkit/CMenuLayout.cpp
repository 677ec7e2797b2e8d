#include "toolkit/CMenuLayout.h"

#include <algorithm>

namespace vgui {

CMenuLayout::CMenuLayout(const std::vector<Item>& items, int itemsPerColumn, double minWidth)
    : items_(items) {
  int n = static_cast<int>(items.size());
  perColumn_ = itemsPerColumn > 0 ? itemsPerColumn : std::max(1, n);
  columns_ = n == 0 ? 1 : (n + perColumn_ - 1) / perColumn_;
  rects_.resize(static_cast<size_t>(n));
  double x = 0, height = 0;
  for (int c = 0; c < columns_; ++c) {
    int first = c * perColumn_, last = std::min(n, first + perColumn_);
    double width = 0;
    for (int i = first; i < last; ++i) width = std::max(width, items[static_cast<size_t>(i)].textWidth);
    width += kLeftMargin + kRightMargin;
    if (columns_ == 1) width = std::max(width, minWidth);
    double y = 0;
    for (int i = first; i < last; ++i) {
      double h = items[static_cast<size_t>(i)].separator ? kSeparatorHeight : kItemHeight;
      rects_[static_cast<size_t>(i)] = CRect(x, y, x + width, y + h);
      y += h;
    }
    height = std::max(height, y);
    x += width;
  }
  if (n == 0) x = std::max(minWidth, kLeftMargin + kRightMargin);
  bounds_ = CRect(0, 0, x, std::max(height, n == 0 ? kItemHeight : 0.0));
}

CRect CMenuLayout::itemRect(int i) const {
  if (i < 0 || i >= count()) return CRect();
  return rects_[static_cast<size_t>(i)];
}

int CMenuLayout::indexAt(const CPoint& p) const {
  for (int i = 0; i < count(); ++i)
    if (rects_[static_cast<size_t>(i)].pointInside(p)) return i;
  return -1;
}

int CMenuLayout::step(int from, int direction) const {
  int n = count();
  if (n == 0) return -1;
  int i = from;
  if (i < 0 || i >= n) i = direction > 0 ? -1 : n;
  for (int k = 0; k < n; ++k) {
    i = ((i + (direction > 0 ? 1 : -1)) % n + n) % n;
    if (items_[static_cast<size_t>(i)].selectable) return i;
  }
  return -1;
}

int CMenuLayout::besideColumn(int from, int direction) const {
  if (from < 0 || from >= count() || columns_ < 2) return from;
  int column = from / perColumn_ + (direction > 0 ? 1 : -1);
  if (column < 0 || column >= columns_) return from;
  int row = from % perColumn_;
  int target = std::min(column * perColumn_ + row, count() - 1);
  if (items_[static_cast<size_t>(target)].selectable) return target;
  // Nearest selectable entry within that column.
  int first = column * perColumn_, last = std::min(count(), first + perColumn_) - 1;
  for (int d = 1; d <= perColumn_; ++d) {
    if (target - d >= first && items_[static_cast<size_t>(target - d)].selectable) return target - d;
    if (target + d <= last && items_[static_cast<size_t>(target + d)].selectable) return target + d;
  }
  return from;
}

CPoint CMenuLayout::placeOnScreen(const CRect& size, const CPoint& at, const CRect& screen) {
  CPoint p = at;
  if (p.x + size.getWidth() > screen.right) p.x = screen.right - size.getWidth();
  if (p.y + size.getHeight() > screen.bottom) p.y = screen.bottom - size.getHeight();
  if (p.x < screen.left) p.x = screen.left;
  if (p.y < screen.top) p.y = screen.top;
  return p;
}

}  // namespace vgui
