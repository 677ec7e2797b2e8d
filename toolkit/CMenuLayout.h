// Geometry of a pop-up menu, apart from any window: entries run down columns
// of at most `itemsPerColumn` entries (separators count), each column as wide
// as its widest text. Also keyboard moves between entries.
#pragma once

#include <vector>

#include "toolkit/CRect.h"

namespace vgui {

class CMenuLayout {
 public:
  struct Item {
    double textWidth = 0;
    bool separator = false;
    bool selectable = true;
  };

  static constexpr double kItemHeight = 18;
  static constexpr double kSeparatorHeight = 7;
  static constexpr double kLeftMargin = 20;   // room for the check mark
  static constexpr double kRightMargin = 18;  // room for the submenu arrow

  // itemsPerColumn <= 0: a single column.
  CMenuLayout(const std::vector<Item>& items, int itemsPerColumn, double minWidth = 0);

  int count() const { return static_cast<int>(rects_.size()); }
  int columns() const { return columns_; }
  int itemsPerColumn() const { return perColumn_; }
  // Rectangle of entry i relative to the menu's top-left corner.
  CRect itemRect(int i) const;
  // Size of the whole menu.
  CRect bounds() const { return bounds_; }
  // Entry under a point relative to the menu, or -1.
  int indexAt(const CPoint& p) const;
  // Next selectable entry after `from` in direction +1/-1, wrapping; -1 if none.
  int step(int from, int direction) const;
  // Selectable entry beside `from` in the next (+1) or previous (-1) column.
  int besideColumn(int from, int direction) const;

  // Top-left corner for a menu of `size` wanted at `at`, moved to stay on `screen`.
  static CPoint placeOnScreen(const CRect& size, const CPoint& at, const CRect& screen);

 private:
  std::vector<Item> items_;
  std::vector<CRect> rects_;
  CRect bounds_;
  int perColumn_;
  int columns_ = 1;
};

}  // namespace vgui
