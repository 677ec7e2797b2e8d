#include "toolkit/CMenuItem.h"

#include "toolkit/COptionMenu.h"

namespace vgui {

CMenuItem::CMenuItem(const char* title, int flags, COptionMenu* submenu) : flags_(flags) {
  setTitle(title);
  setSubmenu(submenu);
}

CMenuItem::~CMenuItem() { setSubmenu(nullptr); }

void CMenuItem::setTitle(const char* title) {
  title_ = title ? title : "";
  if (title_ == "-") flags_ |= kSeparator;
}

void CMenuItem::setSubmenu(COptionMenu* submenu) {
  if (submenu) submenu->remember();
  if (submenu_) submenu_->forget();
  submenu_ = submenu;
}

}  // namespace vgui
