#include "toolkit/CMenuPopup.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <poll.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMenuLayout.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/XErrorTrap.h"

namespace vgui {

namespace {

std::atomic<bool> gOpen{false};
std::atomic<unsigned long> gWindow{0};

const CColor kMenuBack{240, 238, 232, 255};
const CColor kMenuBorder{70, 70, 70, 255};
const CColor kMenuText{20, 20, 20, 255};
const CColor kMenuGrey{150, 150, 150, 255};
const CColor kMenuHover{52, 101, 164, 255};

// One open menu window.
struct Level {
  COptionMenu* menu = nullptr;
  std::unique_ptr<CMenuLayout> layout;
  Window window = 0;
  cairo_surface_t* surface = nullptr;
  CPoint origin;  // root coordinates of the top-left corner, in screen pixels
  int hover = -1;
  int parentItem = -1;  // item of the level below that opened this one
};

class PopupSession {
 public:
  PopupSession(CFrame* frame)
      : frame_(frame), display_(frame->getDisplay()), scale_(frame->getScaleFactor()) {}
  ~PopupSession() {
    while (!levels_.empty()) closeTop();
    XUngrabPointer(display_, CurrentTime);
    XUngrabKeyboard(display_, CurrentTime);
    XFlush(display_);
  }

  bool open(COptionMenu* menu, const CPoint& at, double minWidth, int parentItem);
  void closeTop();
  bool grab();
  void loop();

  bool chosen = false;
  COptionMenu* chosenMenu = nullptr;
  int chosenIndex = -1;

 private:
  void paint(Level& level);
  void blit(Level& level);
  int levelAt(const CPoint& root) const;
  // Entry of `level` under a root point, or -1.
  int itemAt(const Level& level, const CPoint& root) const;
  // Screen pixels of a menu of `bounds` (menu pixels).
  int pixels(double v) const { return static_cast<int>(std::ceil(v * scale_)); }
  void setHover(size_t levelIndex, int item, bool openSubmenu);
  void choose(size_t levelIndex, int item);
  void onKey(XKeyEvent& e);

  CFrame* frame_;
  Display* display_;
  // The menus are laid out in menu pixels and drawn this many times as large,
  // like the frame they pop up from.
  double scale_;
  std::vector<Level> levels_;
  bool done_ = false;
  bool moved_ = false;
};

bool PopupSession::open(COptionMenu* menu, const CPoint& at, double minWidth, int parentItem) {
  std::vector<CMenuLayout::Item> items;
  {
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    CDrawContext measure(probe, scale_);  // widths as drawn at this size
    for (int i = 0; i < menu->getNbEntries(); ++i) {
      CMenuItem* it = menu->getEntry(i);
      measure.setFont(it->isTitle() ? kNormalFontBig : kNormalFont);
      items.push_back({measure.getStringWidth(it->getTitle()), it->isSeparator(), it->isSelectable()});
    }
    cairo_surface_destroy(probe);
  }
  Level level;
  level.menu = menu;
  level.layout = std::make_unique<CMenuLayout>(items, menu->getNbItemsPerColumn(), minWidth);
  level.parentItem = parentItem;
  CRect b = level.layout->bounds();
  int screen = DefaultScreen(display_);
  CRect screenRect(0, 0, DisplayWidth(display_, screen), DisplayHeight(display_, screen));
  int w = pixels(b.getWidth()), h = pixels(b.getHeight());
  level.origin = CMenuLayout::placeOnScreen(CRect(0, 0, w, h), at, screenRect);
  XSetWindowAttributes attr;
  std::memset(&attr, 0, sizeof(attr));
  attr.override_redirect = True;
  attr.colormap = DefaultColormap(display_, screen);
  attr.border_pixel = 0;
  attr.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                    KeyPressMask;
  level.window = XCreateWindow(display_, RootWindow(display_, screen),
                               static_cast<int>(level.origin.x), static_cast<int>(level.origin.y),
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                               DefaultDepth(display_, screen), InputOutput,
                               DefaultVisual(display_, screen),
                               CWOverrideRedirect | CWColormap | CWBorderPixel | CWEventMask, &attr);
  if (!level.window) return false;
  level.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  int current = menu->getCurrentIndex();
  if (current >= 0 && current < menu->getNbEntries() && menu->getEntry(current)->isSelectable())
    level.hover = current;
  XMapRaised(display_, level.window);
  if (levels_.empty()) gWindow.store(level.window);
  levels_.push_back(std::move(level));
  paint(levels_.back());
  return true;
}

void PopupSession::closeTop() {
  Level& level = levels_.back();
  if (levels_.size() == 1) gWindow.store(0);
  XDestroyWindow(display_, level.window);
  cairo_surface_destroy(level.surface);
  levels_.pop_back();
}

bool PopupSession::grab() {
  // The window must be viewable before it can be grabbed; wait for it.
  XSync(display_, False);
  Window w = levels_.front().window;
  for (int attempt = 0; attempt < 50; ++attempt) {
    int r = XGrabPointer(display_, w, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                         GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    if (r == GrabSuccess) {
      XGrabKeyboard(display_, w, True, GrabModeAsync, GrabModeAsync, CurrentTime);
      return true;
    }
    poll(nullptr, 0, 10);
  }
  return false;
}

void PopupSession::paint(Level& level) {
  CDrawContext dc(level.surface, scale_);
  CRect all = level.layout->bounds();
  dc.setFillColor(kMenuBack);
  dc.setFrameColor(kMenuBorder);
  dc.drawRect(all, kDrawFilledAndStroked);
  COptionMenu* menu = level.menu;
  for (int i = 0; i < menu->getNbEntries(); ++i) {
    CMenuItem* it = menu->getEntry(i);
    CRect r = level.layout->itemRect(i);
    if (it->isSeparator()) {
      dc.setFrameColor(kMenuGrey);
      double y = (r.top + r.bottom) / 2;
      dc.drawLine(CPoint(r.left + 4, y), CPoint(r.right - 5, y));
      continue;
    }
    bool hover = i == level.hover;
    if (hover) {
      CRect h = r;
      h.inset(1, 0);
      dc.setFillColor(kMenuHover);
      dc.fillRect(h);
    }
    CColor text = !it->isEnabled() ? kMenuGrey : (hover ? kWhiteCColor : kMenuText);
    if (menu->isCheckEntry(i)) {
      dc.setFrameColor(text);
      dc.setLineWidth(2);
      double cy = (r.top + r.bottom) / 2;
      dc.drawLine(CPoint(r.left + 6, cy), CPoint(r.left + 9, cy + 3));
      dc.drawLine(CPoint(r.left + 9, cy + 3), CPoint(r.left + 14, cy - 4));
      dc.setLineWidth(1);
    }
    dc.setFontColor(text);
    dc.setFont(it->isTitle() ? kNormalFontBig : kNormalFont);
    CRect tr(r.left + CMenuLayout::kLeftMargin, r.top, r.right - CMenuLayout::kRightMargin, r.bottom);
    dc.drawString(it->getTitle(), tr, kLeftText);
    if (it->getSubmenu()) {
      cairo_t* cr = dc.getCairo();
      double cy = (r.top + r.bottom) / 2;
      cairo_move_to(cr, r.right - 12, cy - 4);
      cairo_line_to(cr, r.right - 7, cy);
      cairo_line_to(cr, r.right - 12, cy + 4);
      cairo_close_path(cr);
      cairo_set_source_rgb(cr, text.red / 255.0, text.green / 255.0, text.blue / 255.0);
      cairo_fill(cr);
    }
  }
  blit(level);
}

void PopupSession::blit(Level& level) {
  cairo_surface_flush(level.surface);
  int screen = DefaultScreen(display_);
  int w = cairo_image_surface_get_width(level.surface);
  int h = cairo_image_surface_get_height(level.surface);
  XImage* image = XCreateImage(display_, DefaultVisual(display_, screen),
                               static_cast<unsigned>(DefaultDepth(display_, screen)), ZPixmap, 0,
                               reinterpret_cast<char*>(cairo_image_surface_get_data(level.surface)),
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 32,
                               cairo_image_surface_get_stride(level.surface));
  if (!image) return;
  GC gc = XCreateGC(display_, level.window, 0, nullptr);
  XPutImage(display_, level.window, gc, image, 0, 0, 0, 0, static_cast<unsigned>(w),
            static_cast<unsigned>(h));
  XFreeGC(display_, gc);
  image->data = nullptr;
  XDestroyImage(image);
}

int PopupSession::levelAt(const CPoint& root) const {
  for (size_t i = levels_.size(); i-- > 0;) {
    CRect b = levels_[i].layout->bounds();
    CRect onScreen(0, 0, pixels(b.getWidth()), pixels(b.getHeight()));
    onScreen.offset(levels_[i].origin.x, levels_[i].origin.y);
    if (onScreen.pointInside(root)) return static_cast<int>(i);
  }
  return -1;
}

int PopupSession::itemAt(const Level& level, const CPoint& root) const {
  return level.layout->indexAt(
      CPoint((root.x - level.origin.x) / scale_, (root.y - level.origin.y) / scale_));
}

void PopupSession::setHover(size_t li, int item, bool openSubmenu) {
  // Submenus stay open only while their own parent item is hovered.
  if (levels_.size() > li + 1 && levels_[li + 1].parentItem != item)
    while (levels_.size() > li + 1) closeTop();
  Level& level = levels_[li];
  if (level.hover != item) {
    level.hover = item;
    paint(level);
  }
  CMenuItem* it = level.menu->getEntry(item);
  if (openSubmenu && it && it->isSelectable() && it->getSubmenu() && levels_.size() == li + 1) {
    CRect r = level.layout->itemRect(item);
    open(it->getSubmenu(),
         CPoint(level.origin.x + std::round(r.right * scale_),
                level.origin.y + std::round(r.top * scale_)),
         0, item);
  }
}

void PopupSession::choose(size_t li, int item) {
  CMenuItem* it = levels_[li].menu->getEntry(item);
  if (!it || !it->isSelectable()) return;
  if (it->getSubmenu()) {
    setHover(li, item, true);
    return;
  }
  chosen = true;
  chosenMenu = levels_[li].menu;
  chosenIndex = item;
  done_ = true;
}

void PopupSession::onKey(XKeyEvent& e) {
  KeySym sym = XLookupKeysym(&e, 0);
  size_t li = levels_.size() - 1;
  Level& level = levels_[li];
  switch (sym) {
    case XK_Escape:
      done_ = true;
      break;
    case XK_Up:
    case XK_Down: {
      int next = level.layout->step(level.hover, sym == XK_Down ? 1 : -1);
      if (next >= 0) setHover(li, next, false);
      break;
    }
    case XK_Right: {
      CMenuItem* it = level.menu->getEntry(level.hover);
      if (it && it->getSubmenu() && it->isSelectable()) {
        setHover(li, level.hover, true);
        Level& child = levels_.back();
        if (child.hover < 0) child.hover = child.layout->step(-1, 1);
        paint(child);
      } else {
        setHover(li, level.layout->besideColumn(level.hover, 1), false);
      }
      break;
    }
    case XK_Left:
      if (level.layout->besideColumn(level.hover, -1) != level.hover)
        setHover(li, level.layout->besideColumn(level.hover, -1), false);
      else if (levels_.size() > 1)
        closeTop();
      break;
    case XK_Return:
    case XK_KP_Enter:
    case XK_space:
      if (level.hover >= 0) choose(li, level.hover);
      break;
    default:
      break;
  }
}

void PopupSession::loop() {
  while (!done_) {
    if (XPending(display_) == 0) {
      frame_->redrawDirty();  // values set from other threads still show
      pollfd pfd{ConnectionNumber(display_), POLLIN, 0};
      poll(&pfd, 1, 20);
      continue;
    }
    XEvent ev;
    XNextEvent(display_, &ev);
    switch (ev.type) {
      case Expose:
        for (Level& l : levels_)
          if (l.window == ev.xexpose.window) blit(l);
        if (ev.xexpose.window == frame_->getWindow()) frame_->dispatchEvent(&ev);
        break;
      case MotionNotify: {
        while (XCheckTypedEvent(display_, MotionNotify, &ev)) {
        }
        CPoint root(ev.xmotion.x_root, ev.xmotion.y_root);
        int li = levelAt(root);
        if (li < 0) break;
        Level& l = levels_[static_cast<size_t>(li)];
        int item = itemAt(l, root);
        if (item >= 0 && l.menu->getEntry(item)->isSelectable()) {
          moved_ = true;
          setHover(static_cast<size_t>(li), item, true);
        }
        break;
      }
      case ButtonPress:
      case ButtonRelease: {
        if (ev.xbutton.button > 3) break;  // wheel
        CPoint root(ev.xbutton.x_root, ev.xbutton.y_root);
        int li = levelAt(root);
        if (li < 0) {
          if (ev.type == ButtonPress) done_ = true;  // a click elsewhere dismisses
          break;
        }
        Level& l = levels_[static_cast<size_t>(li)];
        int item = itemAt(l, root);
        // A release chooses only after a drag into the menu, not the release
        // of the click that opened it.
        if (item >= 0 && (ev.type == ButtonPress || moved_)) choose(static_cast<size_t>(li), item);
        break;
      }
      case KeyPress:
        onKey(ev.xkey);
        break;
      default:
        if (ev.xany.window == frame_->getWindow()) frame_->dispatchEvent(&ev);
        break;
    }
  }
}

}  // namespace

bool CMenuPopup::run(CFrame* frame, COptionMenu* menu, const CPoint& where,
                     COptionMenu*& chosenMenu, int& chosenIndex) {
  chosenMenu = nullptr;
  chosenIndex = -1;
  if (!frame || !frame->getDisplay() || !menu || gOpen.load()) return false;
  gOpen.store(true);
  bool result = false;
  {
    XErrorTrap trap(frame->getDisplay());
    PopupSession session(frame);
    CPoint at = frame->localToScreen(where);
    if (session.open(menu, at, menu->getViewSize().getWidth(), -1) && session.grab()) {
      session.loop();
      result = session.chosen;
      chosenMenu = session.chosenMenu;
      chosenIndex = session.chosenIndex;
    }
  }
  gOpen.store(false);
  return result;
}

bool CMenuPopup::isOpen() { return gOpen.load(); }

unsigned long CMenuPopup::openWindow() { return gWindow.load(); }

}  // namespace vgui
