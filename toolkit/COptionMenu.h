// A pop-up menu control. Its value is the number of the chosen entry, counted
// from 0 over every entry, separators and title entries included. Drawn as a
// display of the current entry's text (unless kNoTextStyle); a click pops the
// entries up in a window of their own and returns once the user has chosen
// or dismissed. Choosing sets the value of the menu the entry belongs to (a
// submenu keeps its own value) and tells that menu's listener.
// Styles: kCheckStyle ticks the current entry, kMultipleCheckStyle ticks every
// chosen entry, kNoDrawStyle/kNoFrame/kNoTextStyle leave out the background,
// the frame and the text.
// Threads: setValue from any thread; everything else on the GUI thread.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "toolkit/CMenuItem.h"
#include "toolkit/CParamDisplay.h"

namespace vgui {

class COptionMenu : public CParamDisplay {
 public:
  COptionMenu(const CRect& size, CControlListener* listener, long tag,
              CBitmap* background = nullptr, CBitmap* backgroundWhenClick = nullptr,
              long style = 0);

  // A copy over the same rectangle with the same look; with `shareEntries`
  // both menus hold the same entries (a title changed in one shows in both),
  // otherwise the entries are copied. The copy starts with a reference of 1.
  COptionMenu* newCopy(bool shareEntries) const;
  COptionMenu* newCopy() const override { return newCopy(false); }
  bool sharesEntriesWith(const COptionMenu* other) const { return other && other->entries_ == entries_; }

  CMenuItem* addEntry(const char* text, int index = -1, int itemFlags = CMenuItem::kNoFlags);
  CMenuItem* addEntry(COptionMenu* submenu, const char* title);
  CMenuItem* addSeparator() { return addEntry("-"); }
  bool removeEntry(int index);
  void removeAllEntry();
  int getNbEntries() const;
  CMenuItem* getEntry(int index) const;

  // The current entry; counted over every entry, or over the entries that
  // are not separators when countSeparator is false (-1 if it is one).
  int getCurrentIndex(bool countSeparator = true) const;
  bool setCurrent(int index, bool countSeparator = true);
  CMenuItem* getCurrent() const { return getEntry(getCurrentIndex()); }
  // Entry number of the index-th entry that is not a separator, or -1.
  int indexCountingSeparators(int indexWithoutSeparators) const;

  bool checkEntry(int index, bool state);
  // Ticks `index` and clears every other tick.
  bool checkEntryAlone(int index);
  // Ticked as the user sees it: the current entry in check style, else the
  // entry's own tick.
  bool isCheckEntry(int index) const;

  void setNbItemsPerColumn(int n) { itemsPerColumn_ = n; }
  int getNbItemsPerColumn() const { return itemsPerColumn_; }

  // The menu and entry of the last choice made from this pop-up; -1 after a
  // dismissal.
  int getLastResult() const { return lastResult_; }
  COptionMenu* getLastItemMenu(int& index) const;

  // What a choice of entry `index` of `menu` (this menu or one of its
  // submenus) does; the pop-up window calls it.
  void takeChoice(COptionMenu* menu, int index);

  // Pops the entries up at the frame point `where` and returns after the
  // choice; answers whether something was chosen.
  bool popup(const CPoint& where);

  // Held within 0..entries-1.
  void setValue(float value) override;
  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  bool isTypeOf(const char* name) const override;

 protected:
  ~COptionMenu() override;

 private:
  struct Entries {
    std::vector<std::unique_ptr<CMenuItem>> items;
    std::atomic<int> count{0};
  };

  std::shared_ptr<Entries> entries_;
  CBitmap* backgroundWhenClick_;
  int itemsPerColumn_ = -1;
  int lastResult_ = -1;
  COptionMenu* lastMenu_ = nullptr;
};

}  // namespace vgui
