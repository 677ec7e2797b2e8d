#include "toolkit/CFrame.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/EditorInterface.h"
#include "toolkit/XErrorTrap.h"

namespace vgui {

namespace {

long buttonMaskFromState(unsigned int state) {
  long b = 0;
  if (state & Button1Mask) b |= kLButton;
  if (state & Button2Mask) b |= kMButton;
  if (state & Button3Mask) b |= kRButton;
  if (state & ShiftMask) b |= kShift;
  if (state & ControlMask) b |= kControl;
  if (state & Mod1Mask) b |= kAlt;
  return b;
}

long buttonBit(unsigned int button) {
  switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    case 8: return kButton4;
    case 9: return kButton5;
    default: return 0;
  }
}

}  // namespace

CFrame::CFrame(const CRect& size, void* systemWindow, EditorInterface* editor, double scale)
    : CView(size), editor_(editor), guiThread_(std::this_thread::get_id()) {
  size_.moveTo(0, 0);
  mouseableArea_ = size_;
  if (scale > 0 && std::isfinite(scale)) scale_ = scale;
  backBuffer_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, deviceWidth(), deviceHeight());
  open(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(systemWindow)));
  invalid_.push_back(size_);
}

CFrame::~CFrame() {
  setCapture(nullptr);
  focusView_ = nullptr;
  removeAll(true);
  closeWindow();
  cairo_surface_destroy(backBuffer_);
}

void CFrame::open(unsigned long parent) {
  if (parent == 0) return;
  display_ = XOpenDisplay(nullptr);
  if (!display_) return;
  int screen = DefaultScreen(display_);
  XSetWindowAttributes attr;
  std::memset(&attr, 0, sizeof(attr));
  // Own visual and colour map: the host's window may have another depth.
  attr.colormap = DefaultColormap(display_, screen);
  attr.border_pixel = 0;
  attr.background_pixel = BlackPixel(display_, screen);
  attr.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                    KeyPressMask | KeyReleaseMask | StructureNotifyMask | FocusChangeMask;
  Window w = 0;
  bool failed;
  {
    // A stale or foreign parent id must not take the host down.
    XErrorTrap trap(display_);
    w = XCreateWindow(display_, parent, 0, 0, cairo_image_surface_get_width(backBuffer_),
                      cairo_image_surface_get_height(backBuffer_), 0,
                      DefaultDepth(display_, screen), InputOutput, DefaultVisual(display_, screen),
                      CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &attr);
    failed = trap.failed() || w == 0;
  }
  if (failed) {
    closeWindow();
    return;
  }
  window_ = w;
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XMapWindow(display_, window_);
  XFlush(display_);
}

void CFrame::closeWindow() {
  if (!display_) return;
  {
    XErrorTrap trap(display_);
    if (gc_) XFreeGC(display_, static_cast<GC>(gc_));
    // The host may already have destroyed its window, and ours with it.
    if (window_) XDestroyWindow(display_, window_);
  }
  gc_ = nullptr;
  window_ = 0;
  XCloseDisplay(display_);
  display_ = nullptr;
}

int CFrame::deviceWidth() const {
  return std::max(1, static_cast<int>(CDrawContext::deviceCoord(size_.getWidth(), scale_)));
}

int CFrame::deviceHeight() const {
  return std::max(1, static_cast<int>(CDrawContext::deviceCoord(size_.getHeight(), scale_)));
}

void CFrame::setScaleFactor(double scale) {
  if (!(scale > 0) || !std::isfinite(scale) || scale == scale_) return;
  scale_ = scale;
  cairo_surface_destroy(backBuffer_);
  backBuffer_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, deviceWidth(), deviceHeight());
  if (display_ && window_) {
    XErrorTrap trap(display_);
    XResizeWindow(display_, window_, static_cast<unsigned>(deviceWidth()),
                  static_cast<unsigned>(deviceHeight()));
    XFlush(display_);
  }
  // Nothing of the old buffer survives: every view is drawn again.
  invalid_.assign(1, size_);
  for (CView* v : views_) v->setDirty(true);
}

CPoint CFrame::windowToLocal(int x, int y) const { return CPoint(x / scale_, y / scale_); }

bool CFrame::addView(CView* view) {
  if (!view || isChild(view)) return false;
  views_.push_back(view);
  view->attached(this);
  view->setDirty(true);
  return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
  auto it = std::find(views_.begin(), views_.end(), view);
  if (it == views_.end()) return false;
  views_.erase(it);
  if (focusView_ == view) focusView_ = nullptr;
  if (captureView_ == view) setCapture(nullptr);
  invalidRect(view->getViewSize());
  view->removed();
  if (withForget) view->forget();
  return true;
}

void CFrame::removeAll(bool withForget) {
  while (!views_.empty()) removeView(views_.back(), withForget);
}

bool CFrame::isChild(const CView* view) const {
  return std::find(views_.begin(), views_.end(), view) != views_.end();
}

CView* CFrame::getView(int index) const {
  if (index < 0 || index >= getNbViews()) return nullptr;
  return views_[static_cast<size_t>(index)];
}

void CFrame::setFocusView(CView* view) {
  if (view == focusView_) return;
  CView* old = focusView_;
  focusView_ = view;
  if (view && display_ && window_) {
    // Hosts rarely give a plug-in's window the keyboard; ask for it.
    XErrorTrap trap(display_);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
  }
  if (old) old->onFocusChanged(false);
  if (view) view->onFocusChanged(true);
}

void CFrame::setCapture(CView* view) {
  if (view) view->remember();
  if (captureView_) captureView_->forget();
  captureView_ = view;
}

void CFrame::invalidRect(const CRect& rect) {
  if (std::this_thread::get_id() != guiThread_.load(std::memory_order_relaxed)) {
    // Off the GUI thread the list is out of reach: redraw everything instead.
    setDirty(true);
    return;
  }
  CRect r = rect;
  r.bound(size_);
  if (!r.isEmpty()) invalid_.push_back(r);
}

void CFrame::draw(CDrawContext* context) {
  if (background_) {
    background_->draw(context, size_, backOffset_);
  } else {
    context->setFillColor(kBlackCColor);
    context->fillRect(size_);
  }
}

bool CFrame::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CFrame") == 0) || CView::isTypeOf(name);
}

void CFrame::paintRect(const CRect& rect) {
  CDrawContext context(backBuffer_, scale_);
  context.pushClip(rect);
  draw(&context);
  for (CView* v : views_) {
    if (!v->isVisible() || !v->getViewSize().rectOverlap(rect)) continue;
    v->willDraw();
    context.pushClip(v->getViewSize());
    v->draw(&context);
    context.popClip();
  }
  context.popClip();
}

void CFrame::redrawDirty() {
  if (CView::isDirty()) {
    CView::willDraw();
    invalid_.push_back(size_);
  }
  for (CView* v : views_) {
    if (!v->isDirty()) continue;
    invalid_.push_back(v->getViewSize());
    // A hidden view is not drawn, so clear its mark here; its place still
    // needs repainting, as it may just have been hidden.
    if (!v->isVisible()) v->willDraw();
  }
  if (invalid_.empty()) return;
  std::vector<CRect> rects;
  rects.swap(invalid_);
  // Many small rectangles: one union is cheaper than overlapping repaints.
  if (rects.size() > 8) {
    CRect all;
    for (const CRect& r : rects) all.unite(r);
    rects.assign(1, all);
  }
  cairo_surface_flush(backBuffer_);
  for (const CRect& r : rects) {
    CRect bounded = r;
    bounded.bound(size_);
    if (bounded.isEmpty()) continue;
    paintRect(bounded);
  }
  // Views a repaint touched but that were not dirty are clean anyway; views
  // that turned dirty during drawing stay marked for the next pass.
  cairo_surface_flush(backBuffer_);
  for (const CRect& r : rects) blit(r);
  if (display_) XFlush(display_);
}

void CFrame::blit(const CRect& rect) {
  CRect r = rect;
  r.bound(size_);
  // Every window pixel the rectangle touches.
  int x = static_cast<int>(std::floor(r.left * scale_));
  int y = static_cast<int>(std::floor(r.top * scale_));
  int w = static_cast<int>(std::ceil(r.right * scale_)) - x;
  int h = static_cast<int>(std::ceil(r.bottom * scale_)) - y;
  blitPixels(x, y, w, h);
}

void CFrame::blitPixels(int x, int y, int w, int h) {
  if (!display_ || !window_) return;
  int fullW = cairo_image_surface_get_width(backBuffer_);
  int fullH = cairo_image_surface_get_height(backBuffer_);
  if (x < 0) w += x, x = 0;
  if (y < 0) h += y, y = 0;
  w = std::min(w, fullW - x);
  h = std::min(h, fullH - y);
  if (w <= 0 || h <= 0) return;
  int screen = DefaultScreen(display_);
  Visual* visual = DefaultVisual(display_, screen);
  int depth = DefaultDepth(display_, screen);
  unsigned char* data = cairo_image_surface_get_data(backBuffer_);
  int stride = cairo_image_surface_get_stride(backBuffer_);
  XImage* image = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                               reinterpret_cast<char*>(data), static_cast<unsigned>(fullW),
                               static_cast<unsigned>(fullH), 32, stride);
  if (!image) return;
  bool direct = image->bits_per_pixel == 32 && visual->red_mask == 0xff0000 &&
                visual->green_mask == 0xff00 && visual->blue_mask == 0xff &&
                image->byte_order == LSBFirst;
  if (direct) {
    XPutImage(display_, window_, static_cast<GC>(gc_), image, x, y, x, y,
              static_cast<unsigned>(w), static_cast<unsigned>(h));
  } else {
    // Other visuals: convert pixel by pixel into an image of their own.
    image->data = nullptr;
    XDestroyImage(image);
    image = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                         static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (!image) return;
    image->data = static_cast<char*>(malloc(static_cast<size_t>(image->bytes_per_line) * h));
    for (int j = 0; j < h; ++j) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(data + (y + j) * stride);
      for (int i = 0; i < w; ++i) {
        uint32_t p = row[x + i];
        XColor c;
        c.red = static_cast<unsigned short>(((p >> 16) & 0xff) * 257);
        c.green = static_cast<unsigned short>(((p >> 8) & 0xff) * 257);
        c.blue = static_cast<unsigned short>((p & 0xff) * 257);
        unsigned long pixel = ((c.red >> 8) * visual->red_mask / 255 & visual->red_mask) |
                              ((c.green >> 8) * visual->green_mask / 255 & visual->green_mask) |
                              ((c.blue >> 8) * visual->blue_mask / 255 & visual->blue_mask);
        XPutPixel(image, i, j, pixel);
      }
    }
    XPutImage(display_, window_, static_cast<GC>(gc_), image, 0, 0, x, y,
              static_cast<unsigned>(w), static_cast<unsigned>(h));
    XDestroyImage(image);
    return;
  }
  image->data = nullptr;  // the pixels belong to cairo
  XDestroyImage(image);
}

cairo_surface_t* CFrame::copyBackBuffer() const {
  int w = cairo_image_surface_get_width(backBuffer_);
  int h = cairo_image_surface_get_height(backBuffer_);
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(copy);
  cairo_set_source_surface(cr, backBuffer_, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  return copy;
}

CPoint CFrame::localToScreen(const CPoint& p) const {
  if (!display_ || !window_) return p;
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(display_, window_, DefaultRootWindow(display_),
                        static_cast<int>(CDrawContext::deviceCoord(p.x, scale_)),
                        static_cast<int>(CDrawContext::deviceCoord(p.y, scale_)), &rx, &ry,
                        &child);
  return CPoint(rx, ry);
}

void CFrame::idle() {
  guiThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  if (!display_) {
    redrawDirty();
    return;
  }
  // The host may destroy its window (and ours with it) before closing us;
  // drawing into it then must not reach Xlib's exiting error handler.
  XErrorTrap trap(display_);
  // Only what is already queued: the host's idle call must not block.
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    dispatchEvent(&event);
  }
  redrawDirty();
  if (trap.failed() && window_) {
    XWindowAttributes attributes;
    XErrorTrap probe(display_);
    XGetWindowAttributes(display_, window_, &attributes);
    if (probe.failed()) window_ = 0;  // gone: stop drawing, nothing to destroy
  }
}

bool CFrame::runModalLoop(const std::function<bool()>& done, int timeoutMs) {
  auto start = std::chrono::steady_clock::now();
  remember();  // the frame must outlive its own loop
  bool finished = false;
  while (!(finished = done())) {
    if (timeoutMs >= 0 &&
        std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs))
      break;
    if (display_ && XPending(display_) == 0) {
      pollfd pfd{ConnectionNumber(display_), POLLIN, 0};
      poll(&pfd, 1, 10);
    }
    idle();
    if (!display_) break;
  }
  forget();
  return finished;
}

void CFrame::dispatchEvent(_XEvent* event) {
  switch (event->type) {
    case Expose:
      if (event->xexpose.window == window_)
        blitPixels(event->xexpose.x, event->xexpose.y, event->xexpose.width,
                   event->xexpose.height);
      break;
    case ButtonPress:
      handleButton(event, true);
      break;
    case ButtonRelease:
      handleButton(event, false);
      break;
    case MotionNotify:
      handleMotion(event);
      break;
    case KeyPress:
      handleKey(event);
      break;
    default:
      break;
  }
}

void CFrame::handleButton(_XEvent* event, bool press) {
  XButtonEvent& be = event->xbutton;
  if (be.window != window_) return;
  CPoint where = windowToLocal(be.x, be.y);
  long modifiers = buttonMaskFromState(be.state) & (kShift | kControl | kAlt);
  // Wheel: buttons 4 and 5 vertical; 6 and 7 (horizontal) are ignored.
  if (be.button == Button4 || be.button == Button5) {
    if (!press) return;
    float distance = be.button == Button4 ? 1.f : -1.f;
    CButtonState state(modifiers);
    for (int i = getNbViews() - 1; i >= 0; --i) {
      CView* v = views_[static_cast<size_t>(i)];
      if (!v->isVisible() || !v->getMouseableArea().pointInside(where)) continue;
      v->remember();
      bool used = v->onWheel(where, distance, state);
      v->forget();
      if (used) break;
    }
    return;
  }
  long bit = buttonBit(be.button);
  if (bit == 0) return;
  if (press) {
    long state = modifiers | bit;
    if (be.button == lastClickButton_ && be.time - lastClickTime_ < 300) state |= kDoubleClick;
    lastClickTime_ = be.time;
    lastClickButton_ = be.button;
    CButtonState buttons(state);
    setCapture(nullptr);
    for (int i = getNbViews() - 1; i >= 0; --i) {
      if (i >= getNbViews()) continue;
      CView* v = views_[static_cast<size_t>(i)];
      if (!v->isVisible() || !v->hitTest(where, buttons)) continue;
      v->remember();
      CMouseEventResult r = v->onMouseDown(where, buttons);
      if (r == kMouseEventHandled && v->getFrame() == this) setCapture(v);
      v->forget();
      if (r == kMouseEventHandled || r == kMouseDownEventHandledButDontNeedMovedOrUpEvents) return;
    }
    setFocusView(nullptr);
  } else if (captureView_) {
    long state = (buttonMaskFromState(be.state) & ~bit) | modifiers;
    CButtonState buttons(state);
    CView* v = captureView_;
    v->remember();
    setCapture(nullptr);
    v->onMouseUp(where, buttons);
    v->forget();
  }
}

void CFrame::handleMotion(_XEvent* event) {
  // Drags come in bursts; only the latest position matters.
  while (XCheckTypedWindowEvent(display_, window_, MotionNotify, event)) {
  }
  XMotionEvent& me = event->xmotion;
  if (me.window != window_ || !captureView_) return;
  CPoint where = windowToLocal(me.x, me.y);
  CButtonState buttons(buttonMaskFromState(me.state));
  CView* v = captureView_;
  v->remember();
  CMouseEventResult r = v->onMouseMoved(where, buttons);
  if (r == kMouseEventNotHandled && captureView_ == v) setCapture(nullptr);
  v->forget();
}

void CFrame::handleKey(_XEvent* event) {
  char text[8] = {0};
  KeySym sym = 0;
  XLookupString(&event->xkey, text, sizeof(text) - 1, &sym, nullptr);
  CKeyCode key;
  switch (sym) {
    case XK_BackSpace: key.virt = VKEY_BACK; break;
    case XK_Tab: key.virt = VKEY_TAB; break;
    case XK_Return: key.virt = VKEY_RETURN; break;
    case XK_KP_Enter: key.virt = VKEY_ENTER; break;
    case XK_Escape: key.virt = VKEY_ESCAPE; break;
    case XK_Left: key.virt = VKEY_LEFT; break;
    case XK_Right: key.virt = VKEY_RIGHT; break;
    case XK_Up: key.virt = VKEY_UP; break;
    case XK_Down: key.virt = VKEY_DOWN; break;
    case XK_Delete: key.virt = VKEY_DELETE; break;
    case XK_space: key.virt = VKEY_SPACE; key.character = ' '; break;
    default:
      key.character = static_cast<unsigned char>(text[0]);
      break;
  }
  if (key.virt == 0 && key.character == 0) return;
  long mods = buttonMaskFromState(event->xkey.state);
  if (mods & kShift) key.modifier |= 1;
  if (mods & kAlt) key.modifier |= 2;
  if (mods & kControl) key.modifier |= 4;
  if (focusView_) {
    CView* v = focusView_;
    v->remember();
    long used = v->onKeyDown(key);
    v->forget();
    if (used == 1) return;
  }
  if (editor_) editor_->onUnusedKey(key);
}

}  // namespace vgui
