#include "toolkit/COptionMenu.h"

#include <cmath>
#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMenuPopup.h"

namespace vgui {

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, long tag,
                         CBitmap* background, CBitmap* backgroundWhenClick, long style)
    : CParamDisplay(size, background, style),
      entries_(std::make_shared<Entries>()),
      backgroundWhenClick_(backgroundWhenClick) {
  listener_ = listener;
  tag_ = tag;
  if (backgroundWhenClick_) backgroundWhenClick_->remember();
  max_ = 0;
  setValue(0);
}

COptionMenu::~COptionMenu() {
  if (backgroundWhenClick_) backgroundWhenClick_->forget();
}

COptionMenu* COptionMenu::newCopy(bool shareEntries) const {
  auto* copy = new COptionMenu(size_, listener_, tag_, background_, backgroundWhenClick_, style_);
  copy->backOffset_ = backOffset_;
  copy->mouseableArea_ = mouseableArea_;
  copy->transparent_ = transparent_;
  copy->font_ = font_;
  copy->fontColor_ = fontColor_;
  copy->backColor_ = backColor_;
  copy->frameColor_ = frameColor_;
  copy->align_ = align_;
  copy->textTransparent_ = textTransparent_;
  copy->itemsPerColumn_ = itemsPerColumn_;
  copy->proc_ = proc_;
  copy->procData_ = procData_;
  if (shareEntries) {
    copy->entries_ = entries_;
  } else {
    for (const auto& item : entries_->items) {
      CMenuItem* added = copy->addEntry(item->getTitle());
      added->setEnabled(item->isEnabled());
      added->setIsTitle(item->isTitle());
      added->setChecked(item->isChecked());
      added->setSubmenu(item->getSubmenu());
    }
  }
  copy->setValue(getValue());
  return copy;
}

CMenuItem* COptionMenu::addEntry(const char* text, int index, int itemFlags) {
  auto& items = entries_->items;
  auto item = std::make_unique<CMenuItem>(text, itemFlags);
  CMenuItem* raw = item.get();
  if (index < 0 || index >= static_cast<int>(items.size()))
    items.push_back(std::move(item));
  else
    items.insert(items.begin() + index, std::move(item));
  entries_->count.store(static_cast<int>(items.size()), std::memory_order_release);
  max_ = static_cast<float>(items.size() - 1);
  setDirty();
  return raw;
}

CMenuItem* COptionMenu::addEntry(COptionMenu* submenu, const char* title) {
  CMenuItem* item = addEntry(title);
  item->setSubmenu(submenu);
  return item;
}

bool COptionMenu::removeEntry(int index) {
  auto& items = entries_->items;
  if (index < 0 || index >= static_cast<int>(items.size())) return false;
  items.erase(items.begin() + index);
  entries_->count.store(static_cast<int>(items.size()), std::memory_order_release);
  max_ = items.empty() ? 0.f : static_cast<float>(items.size() - 1);
  bounceValue();
  setDirty();
  return true;
}

void COptionMenu::removeAllEntry() {
  entries_->items.clear();
  entries_->count.store(0, std::memory_order_release);
  max_ = 0;
  setValue(0);
  setDirty();
}

int COptionMenu::getNbEntries() const { return entries_->count.load(std::memory_order_acquire); }

CMenuItem* COptionMenu::getEntry(int index) const {
  if (index < 0 || index >= static_cast<int>(entries_->items.size())) return nullptr;
  return entries_->items[static_cast<size_t>(index)].get();
}

void COptionMenu::setValue(float value) {
  if (std::isnan(value)) return;
  // The range follows the entry count, which a shared copy may change.
  int n = getNbEntries();
  float top = n > 0 ? static_cast<float>(n - 1) : 0.f;
  storeValue(value < 0 ? 0 : (value > top ? top : value));
}

int COptionMenu::getCurrentIndex(bool countSeparator) const {
  if (getNbEntries() == 0) return -1;
  int current = static_cast<int>(getValue());
  if (countSeparator) return current;
  int visible = 0;
  for (int i = 0; i < current; ++i)
    if (!getEntry(i)->isSeparator()) ++visible;
  return getEntry(current)->isSeparator() ? -1 : visible;
}

int COptionMenu::indexCountingSeparators(int indexWithoutSeparators) const {
  if (indexWithoutSeparators < 0) return -1;
  int seen = 0;
  for (int i = 0; i < getNbEntries(); ++i) {
    if (getEntry(i)->isSeparator()) continue;
    if (seen++ == indexWithoutSeparators) return i;
  }
  return -1;
}

bool COptionMenu::setCurrent(int index, bool countSeparator) {
  int i = countSeparator ? index : indexCountingSeparators(index);
  if (i < 0 || i >= getNbEntries()) return false;
  setValue(static_cast<float>(i));
  setDirty();
  return true;
}

bool COptionMenu::checkEntry(int index, bool state) {
  CMenuItem* item = getEntry(index);
  if (!item || item->isSeparator()) return false;
  item->setChecked(state);
  return true;
}

bool COptionMenu::checkEntryAlone(int index) {
  if (!getEntry(index)) return false;
  for (int i = 0; i < getNbEntries(); ++i) getEntry(i)->setChecked(i == index);
  return !getEntry(index)->isSeparator();
}

bool COptionMenu::isCheckEntry(int index) const {
  CMenuItem* item = getEntry(index);
  if (!item || item->isSeparator()) return false;
  if ((style_ & kCheckStyle) && !(style_ & kMultipleCheckStyle) && index == getCurrentIndex())
    return true;
  return item->isChecked();
}

COptionMenu* COptionMenu::getLastItemMenu(int& index) const {
  index = lastMenu_ ? lastMenu_->lastResult_ : -1;
  return lastMenu_;
}

void COptionMenu::takeChoice(COptionMenu* menu, int index) {
  if (!menu) {
    lastResult_ = -1;
    lastMenu_ = nullptr;
    return;
  }
  CMenuItem* item = menu->getEntry(index);
  if (!item || !item->isSelectable()) return;
  if (menu->style_ & kMultipleCheckStyle) item->setChecked(true);
  menu->lastResult_ = index;
  lastResult_ = menu == this ? index : lastResult_;
  lastMenu_ = menu;
  menu->setValue(static_cast<float>(index));
  menu->setDirty();
  // No beginEdit/endEdit: menu tags are often commands, not host parameters.
  if (menu->listener_) menu->listener_->valueChanged(menu);
}

bool COptionMenu::popup(const CPoint& where) {
  if (!frame_ || !frame_->isOpen()) return false;
  lastResult_ = -1;
  lastMenu_ = nullptr;
  remember();  // a listener may take this menu out of the frame
  COptionMenu* chosenMenu = nullptr;
  int chosen = -1;
  bool done = CMenuPopup::run(frame_, this, where, chosenMenu, chosen);
  if (done) takeChoice(chosenMenu, chosen);
  setDirty();
  forget();
  return done;
}

CMouseEventResult COptionMenu::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!(buttons & (kLButton | kRButton | kMButton))) return kMouseEventNotHandled;
  popup(CPoint(size_.left, size_.bottom));
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void COptionMenu::draw(CDrawContext* context) {
  CMenuItem* current = getCurrent();
  drawText(context, current && !current->isSeparator() ? current->getTitle() : "");
}

bool COptionMenu::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "COptionMenu") == 0) || CParamDisplay::isTypeOf(name);
}

}  // namespace vgui
