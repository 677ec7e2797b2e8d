// Option menus without a display: entry numbering, ticks, shared entries,
// what a choice does, and the pop-up's geometry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/CControlListener.h"
#include "toolkit/CMenuLayout.h"
#include "toolkit/COptionMenu.h"

using namespace vgui;

namespace {

struct Recorder : CControlListener {
  std::vector<std::pair<long, float>> changes;
  void valueChanged(CControl* c) override { changes.emplace_back(c->getTag(), c->getValue()); }
};

struct MenuHolder {
  COptionMenu* m;
  explicit MenuHolder(COptionMenu* menu) : m(menu) {}
  ~MenuHolder() { m->forget(); }
  COptionMenu* operator->() const { return m; }
};

MenuHolder deviationMenu(CControlListener* l, long style) {
  MenuHolder h(new COptionMenu(CRect(0, 0, 80, 20), l, 25, nullptr, nullptr, style));
  h->addEntry("Pitch Deviation", -1, CMenuItem::kTitle);
  h->addEntry("-");
  for (const char* t : {"None", "Low", "Medium", "High"}) h->addEntry(t);
  return h;
}

}  // namespace

TEST(ToolkitMenuTest, EntriesAreNumberedWithSeparatorsAndTitles) {
  MenuHolder m = deviationMenu(nullptr, kCheckStyle);
  ASSERT_EQ(m->getNbEntries(), 6);
  EXPECT_TRUE(m->getEntry(1)->isSeparator());
  EXPECT_FALSE(m->getEntry(1)->isSelectable());
  EXPECT_TRUE(m->getEntry(0)->isTitle());
  EXPECT_TRUE(m->getEntry(0)->isSelectable()) << "a title entry can be chosen";
  EXPECT_STREQ(m->getEntry(3)->getTitle(), "Low");
  EXPECT_EQ(m->getEntry(6), nullptr);
  EXPECT_EQ(m->getEntry(-1), nullptr);

  m->setCurrent(3);
  EXPECT_EQ(m->getCurrentIndex(), 3);
  EXPECT_EQ(m->getValue(), 3.f);
  EXPECT_EQ(m->getCurrentIndex(false), 2) << "Low is the third entry that is not a separator";
  EXPECT_TRUE(m->setCurrent(2, false));
  EXPECT_EQ(m->getCurrentIndex(), 3);
  m->setCurrent(1);
  EXPECT_EQ(m->getCurrentIndex(false), -1);
  EXPECT_EQ(m->indexCountingSeparators(1), 2);
  EXPECT_FALSE(m->setCurrent(6));
  EXPECT_EQ(m->getCurrentIndex(), 1);

  // Values from the plug-in are held within the entries.
  for (auto [value, index] : {std::pair{40.f, 5}, {-2.f, 0}, {3.9f, 3}}) {
    m->setValue(value);
    EXPECT_EQ(m->getCurrentIndex(), index) << value;
  }
}

TEST(ToolkitMenuTest, ChoiceSetsValueAndTellsTheListener) {
  Recorder r;
  MenuHolder m = deviationMenu(&r, kCheckStyle);
  m->setCurrent(2);
  m->takeChoice(m.m, 0);  // the title entry
  EXPECT_EQ(m->getCurrentIndex(), 0);
  m->takeChoice(m.m, 1);  // a separator cannot be chosen
  EXPECT_EQ(m->getCurrentIndex(), 0);
  m->takeChoice(m.m, 5);
  ASSERT_EQ(r.changes.size(), 2u);
  EXPECT_EQ(r.changes[0], std::make_pair(25L, 0.f));
  EXPECT_EQ(r.changes[1], std::make_pair(25L, 5.f));
  EXPECT_EQ(m->getLastResult(), 5);
  m->takeChoice(nullptr, 0);  // dismissed
  EXPECT_EQ(m->getLastResult(), -1);
  EXPECT_EQ(r.changes.size(), 2u);
}

TEST(ToolkitMenuTest, SharedCopySeesTitlesOwnCopyDoesNot) {
  MenuHolder presets(new COptionMenu(CRect(774, 357, 865, 378), nullptr, 63, nullptr, nullptr,
                                     kCheckStyle));
  for (int i = 0; i < 128; ++i) presets->addEntry("old");
  MenuHolder selector(presets->newCopy(true));
  MenuHolder separate(presets->newCopy(false));

  presets->getEntry(4)->setTitle("005 Bowed");
  EXPECT_STREQ(selector->getEntry(4)->getTitle(), "005 Bowed");
  EXPECT_STREQ(separate->getEntry(4)->getTitle(), "old");

  // Each keeps its own current entry.
  presets->setCurrent(4);
  selector->setCurrent(9);
  EXPECT_EQ(presets->getCurrentIndex(), 4);
  EXPECT_TRUE(selector->isCheckEntry(9));
  EXPECT_FALSE(selector->isCheckEntry(4));

  // Entries added through one are there in the other, and its range follows.
  presets->addEntry("extra");
  EXPECT_EQ(selector->getNbEntries(), 129);
  selector->setValue(128);
  EXPECT_EQ(selector->getCurrentIndex(), 128);
  EXPECT_EQ(separate->getNbEntries(), 128);
}

TEST(ToolkitMenuTest, EntriesPerColumnLayout) {
  std::vector<CMenuLayout::Item> items(84, CMenuLayout::Item{30, false, true});
  items[40].textWidth = 55;  // widest of the fourth column
  CMenuLayout layout(items, 12);
  EXPECT_EQ(layout.columns(), 7);
  EXPECT_EQ(layout.count(), 84);
  double base = 30 + CMenuLayout::kLeftMargin + CMenuLayout::kRightMargin;
  EXPECT_EQ(layout.itemRect(0), CRect(0, 0, base, CMenuLayout::kItemHeight));
  EXPECT_EQ(layout.itemRect(12).left, base);
  EXPECT_EQ(layout.itemRect(12).top, 0);
  EXPECT_EQ(layout.itemRect(45).getWidth(), base + 25);  // same column as 40
  EXPECT_EQ(layout.itemRect(83).bottom, 12 * CMenuLayout::kItemHeight);
  EXPECT_EQ(layout.bounds().getWidth(), 7 * base + 25);
  EXPECT_EQ(layout.bounds().getHeight(), 12 * CMenuLayout::kItemHeight);
  CRect a3 = layout.itemRect(45);
  EXPECT_EQ(layout.indexAt(CPoint(a3.left + 3, a3.top + 3)), 45);
  EXPECT_EQ(layout.indexAt(CPoint(-1, 3)), -1);
  EXPECT_EQ(layout.indexAt(CPoint(3, 12 * CMenuLayout::kItemHeight + 1)), -1);
  EXPECT_EQ(layout.besideColumn(45, 1), 57);
  EXPECT_EQ(layout.besideColumn(45, -1), 33);
  EXPECT_EQ(layout.besideColumn(80, 1), 80) << "no column to the right of the last";
  EXPECT_EQ(layout.besideColumn(5, -1), 5);

  CMenuLayout single(items, -1);
  EXPECT_EQ(single.columns(), 1);
  EXPECT_EQ(single.itemRect(83).top, 83 * CMenuLayout::kItemHeight);
}
