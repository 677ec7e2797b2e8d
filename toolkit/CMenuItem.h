// One entry of an option menu: a title, flags and an optional submenu.
// Threads: GUI thread.
#pragma once

#include <string>

namespace vgui {

class COptionMenu;

class CMenuItem {
 public:
  enum Flags { kNoFlags = 0, kDisabled = 1 << 0, kTitle = 1 << 1, kChecked = 1 << 2, kSeparator = 1 << 3 };

  // A text of exactly "-" makes a separator.
  explicit CMenuItem(const char* title, int flags = kNoFlags, COptionMenu* submenu = nullptr);
  ~CMenuItem();
  CMenuItem(const CMenuItem&) = delete;
  CMenuItem& operator=(const CMenuItem&) = delete;

  void setTitle(const char* title);
  const char* getTitle() const { return title_.c_str(); }
  bool isSeparator() const { return flags_ & kSeparator; }
  bool isTitle() const { return flags_ & kTitle; }
  void setIsTitle(bool state) { setFlag(kTitle, state); }
  bool isEnabled() const { return !(flags_ & kDisabled); }
  void setEnabled(bool state) { setFlag(kDisabled, !state); }
  bool isChecked() const { return flags_ & kChecked; }
  void setChecked(bool state) { setFlag(kChecked, state); }
  // Separators and disabled entries cannot be chosen.
  bool isSelectable() const { return !isSeparator() && isEnabled(); }

  // The submenu is remembered while the item holds it.
  void setSubmenu(COptionMenu* submenu);
  COptionMenu* getSubmenu() const { return submenu_; }

 private:
  void setFlag(int flag, bool state) { flags_ = state ? (flags_ | flag) : (flags_ & ~flag); }

  std::string title_;
  int flags_;
  COptionMenu* submenu_ = nullptr;
};

}  // namespace vgui
