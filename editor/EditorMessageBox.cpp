#include "editor/EditorMessageBox.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "toolkit/CFrame.h"
#include "toolkit/XErrorTrap.h"


namespace {

std::atomic<unsigned long> gOpenWindow{0};
std::mutex gMessageMutex;
std::string gOpenMessage;

void publishMessage(const std::string& message) {
  std::lock_guard<std::mutex> lock(gMessageMutex);
  gOpenMessage = message;
}

constexpr double kMargin = 18;
constexpr double kTitleHeight = 24;
constexpr double kLineHeight = 17;

// Breaks `text` into lines no wider than `width` at the current font.
std::vector<std::string> wrap(cairo_t* cr, const char* text, double width) {
  std::vector<std::string> lines;
  std::string line, word;
  auto fits = [&](const std::string& s) {
    cairo_text_extents_t ext;
    cairo_text_extents(cr, s.c_str(), &ext);
    return ext.x_advance <= width;
  };
  auto flushWord = [&]() {
    if (word.empty()) return;
    std::string candidate = line.empty() ? word : line + " " + word;
    if (fits(candidate) || line.empty()) {
      line = candidate;
    } else {
      lines.push_back(line);
      line = word;
    }
    word.clear();
  };
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\n') {
      flushWord();
      lines.push_back(line);
      line.clear();
    } else if (*p == ' ') {
      flushWord();
    } else {
      word += *p;
    }
  }
  flushWord();
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

void setFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

class Dialog {
 public:
  Dialog(vgui::CFrame* frame, const std::atomic<bool>& closing, const char* text,
         const char* title, int type)
      : frame_(frame),
        closing_(closing),
        display_(frame->getDisplay()),
        title_(title ? title : ""),
        text_(text ? text : ""),
        buttons_(EditorMessageBox::buttonsFor(type)),
        escapeAnswer_(type == 1 ? 1 : 0),
        scale_(frame->getScaleFactor()) {
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(probe);
    setFont(cr, 13, false);
    lines_ = wrap(cr, text, EditorMessageBox::kWidth - 2 * kMargin);
    cairo_destroy(cr);
    cairo_surface_destroy(probe);
    width_ = static_cast<int>(EditorMessageBox::kWidth);
    height_ = static_cast<int>(kMargin + kTitleHeight + 8 + kLineHeight * lines_.size() + 16 +
                               EditorMessageBox::kButtonHeight + kMargin);
    // On screen the dialog is as much larger as the editor's window.
    pixelWidth_ = static_cast<int>(std::lround(width_ * scale_));
    pixelHeight_ = static_cast<int>(std::lround(height_ * scale_));
  }

  ~Dialog() {
    gOpenWindow.store(0);
    publishMessage("");
    if (window_) {
      XUngrabPointer(display_, CurrentTime);
      XUngrabKeyboard(display_, CurrentTime);
      XDestroyWindow(display_, window_);
      XSync(display_, False);
    }
    if (surface_) cairo_surface_destroy(surface_);
  }

  // Answers the index of the chosen button.
  int run() {
    if (!open()) return escapeAnswer_;
    paint();
    while (choice_ < 0) {
      if (closing_.load()) {
        choice_ = escapeAnswer_;
        break;
      }
      if (XPending(display_) == 0) {
        if (!frameGone_) frame_->redrawDirty();
        pollfd pfd{ConnectionNumber(display_), POLLIN, 0};
        poll(&pfd, 1, 20);
        continue;
      }
      XEvent ev;
      XNextEvent(display_, &ev);
      handle(ev);
    }
    return choice_;
  }

  Window window() const { return window_; }

 private:
  bool open() {
    int screen = DefaultScreen(display_);
    vgui::CRect fs = frame_->getViewSize();
    vgui::CPoint centre = frame_->localToScreen(
        vgui::CPoint((fs.left + fs.right) / 2, (fs.top + fs.bottom) / 2));
    int x = static_cast<int>(centre.x) - pixelWidth_ / 2;
    int y = static_cast<int>(centre.y) - pixelHeight_ / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    XSetWindowAttributes attr;
    attr.override_redirect = True;
    attr.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask |
                      StructureNotifyMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), x, y,
                            static_cast<unsigned>(pixelWidth_),
                            static_cast<unsigned>(pixelHeight_), 0,
                            CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWEventMask, &attr);
    if (!window_) return false;
    XStoreName(display_, window_, title_.c_str());
    XMapRaised(display_, window_);
    XSync(display_, False);
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixelWidth_, pixelHeight_);
    publishMessage(title_ + "|" + text_);
    gOpenWindow.store(window_);
    // The window must be viewable before it can take the pointer.
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (XGrabPointer(display_, window_, False, ButtonPressMask | ButtonReleaseMask,
                       GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess) {
        XGrabKeyboard(display_, window_, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        return true;
      }
      poll(nullptr, 0, 10);
    }
    return true;  // without the grab the dialog still answers its own events
  }

  void paint() {
    cairo_t* cr = cairo_create(surface_);
    cairo_scale(cr, scale_, scale_);
    cairo_set_source_rgb(cr, 0.13, 0.13, 0.14);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.93, 0.63, 0.22);
    cairo_rectangle(cr, 0, 0, width_, 3);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.02, 0.02, 0.02);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, width_ - 1, height_ - 1);
    cairo_stroke(cr);
    setFont(cr, 15, true);
    cairo_set_source_rgb(cr, 0.97, 0.95, 0.90);
    cairo_move_to(cr, kMargin, kMargin + 14);
    cairo_show_text(cr, title_.c_str());
    setFont(cr, 13, false);
    cairo_set_source_rgb(cr, 0.85, 0.84, 0.80);
    double y = kMargin + kTitleHeight + 8 + 12;
    for (const std::string& line : lines_) {
      cairo_move_to(cr, kMargin, y);
      cairo_show_text(cr, line.c_str());
      y += kLineHeight;
    }
    int count = static_cast<int>(buttons_.size());
    for (int i = 0; i < count; ++i) {
      vgui::CRect r = EditorMessageBox::buttonRect(count, i, width_, height_);
      bool hot = i == highlight_;
      cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.getWidth() - 1, r.getHeight() - 1);
      if (i == pressed_)
        cairo_set_source_rgb(cr, 0.55, 0.35, 0.10);
      else if (hot)
        cairo_set_source_rgb(cr, 0.40, 0.30, 0.17);
      else
        cairo_set_source_rgb(cr, 0.26, 0.26, 0.28);
      cairo_fill_preserve(cr);
      if (hot)
        cairo_set_source_rgb(cr, 0.95, 0.66, 0.25);
      else
        cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
      cairo_stroke(cr);
      setFont(cr, 13, true);
      cairo_text_extents_t ext;
      cairo_text_extents(cr, buttons_[static_cast<size_t>(i)].c_str(), &ext);
      cairo_set_source_rgb(cr, 0.97, 0.95, 0.90);
      cairo_move_to(cr, r.left + (r.getWidth() - ext.x_advance) / 2, r.top + 17);
      cairo_show_text(cr, buttons_[static_cast<size_t>(i)].c_str());
    }
    cairo_destroy(cr);
    blit();
  }

  void blit() {
    cairo_surface_flush(surface_);
    int screen = DefaultScreen(display_);
    Visual* visual = DefaultVisual(display_, screen);
    int depth = DefaultDepth(display_, screen);
    XImage* image = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                 nullptr, static_cast<unsigned>(pixelWidth_),
                                 static_cast<unsigned>(pixelHeight_), 32, 0);
    if (!image) return;
    image->data = static_cast<char*>(malloc(static_cast<size_t>(image->bytes_per_line) *
                                            static_cast<size_t>(pixelHeight_)));
    const unsigned char* src = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < pixelHeight_; ++y)
      for (int x = 0; x < pixelWidth_; ++x) {
        std::uint32_t p;
        std::memcpy(&p, src + y * stride + x * 4, 4);
        unsigned long r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
        unsigned long pixel = 0;
        auto place = [](unsigned long v, unsigned long mask) {
          if (!mask) return 0ul;
          int shift = 0;
          while (!((mask >> shift) & 1)) ++shift;
          int bits = 0;
          while ((mask >> (shift + bits)) & 1) ++bits;
          return ((v >> (8 - (bits > 8 ? 8 : bits))) << shift) & mask;
        };
        pixel = place(r, visual->red_mask) | place(g, visual->green_mask) |
                place(b, visual->blue_mask);
        XPutPixel(image, x, y, pixel);
      }
    GC gc = XCreateGC(display_, window_, 0, nullptr);
    XPutImage(display_, window_, gc, image, 0, 0, 0, 0, static_cast<unsigned>(pixelWidth_),
              static_cast<unsigned>(pixelHeight_));
    XFreeGC(display_, gc);
    XDestroyImage(image);
    XFlush(display_);
  }

  int buttonAt(int x, int y) const {
    int count = static_cast<int>(buttons_.size());
    vgui::CPoint where(x / scale_, y / scale_);
    for (int i = 0; i < count; ++i)
      if (EditorMessageBox::buttonRect(count, i, width_, height_).pointInside(where))
        return i;
    return -1;
  }

  void handle(XEvent& ev) {
    switch (ev.type) {
      case Expose:
        if (ev.xexpose.window == window_)
          blit();
        else if (ev.xexpose.window == frame_->getWindow() && !frameGone_)
          frame_->dispatchEvent(&ev);
        break;
      case DestroyNotify:
        // The host took its window, and the editor's with it: nobody is
        // left to answer over it.
        if (ev.xdestroywindow.window == frame_->getWindow()) {
          frameGone_ = true;
          choice_ = escapeAnswer_;
        }
        break;
      case ButtonPress:
        if (ev.xbutton.window == window_ && ev.xbutton.button == Button1) {
          pressed_ = buttonAt(ev.xbutton.x, ev.xbutton.y);
          if (pressed_ >= 0) highlight_ = pressed_;
          paint();
        }
        break;
      case ButtonRelease:
        if (ev.xbutton.window == window_ && ev.xbutton.button == Button1) {
          int at = buttonAt(ev.xbutton.x, ev.xbutton.y);
          if (at >= 0 && at == pressed_) choice_ = at;
          pressed_ = -1;
          if (choice_ < 0) paint();
        }
        break;
      case KeyPress: {
        KeySym sym = XLookupKeysym(&ev.xkey, 0);
        int count = static_cast<int>(buttons_.size());
        if (sym == XK_Return || sym == XK_KP_Enter || sym == XK_space) {
          choice_ = highlight_;
        } else if (sym == XK_Escape) {
          choice_ = escapeAnswer_;
        } else if (sym == XK_Tab || sym == XK_Right || sym == XK_Left) {
          highlight_ = (highlight_ + (sym == XK_Left ? count - 1 : 1)) % count;
          paint();
        }
        break;
      }
      default:
        break;
    }
  }

  vgui::CFrame* frame_;
  const std::atomic<bool>& closing_;
  Display* display_;
  std::string title_;
  std::string text_;
  std::vector<std::string> lines_;
  std::vector<std::string> buttons_;
  int escapeAnswer_;
  double scale_;
  int width_ = 0;  // in dialog pixels, drawn scale_ times as large
  int height_ = 0;
  int pixelWidth_ = 0;
  int pixelHeight_ = 0;
  Window window_ = 0;
  cairo_surface_t* surface_ = nullptr;
  int highlight_ = 0;
  int pressed_ = -1;
  int choice_ = -1;
  bool frameGone_ = false;
};

}  // namespace

EditorMessageBox::EditorMessageBox(vgui::CFrame* frame, const void* owner)
    : frame_(frame), guiThread_(std::this_thread::get_id()) {
  installMessageBoxHandler(this, owner);
}

EditorMessageBox::~EditorMessageBox() {
  // A dialog on screen answers "No" and goes; the removal waits for it.
  closing_.store(true);
  removeMessageBoxHandler(this);
}

unsigned long EditorMessageBox::openWindow() { return gOpenWindow.load(); }

std::string EditorMessageBox::openMessage() {
  std::lock_guard<std::mutex> lock(gMessageMutex);
  return gOpenMessage;
}

std::vector<std::string> EditorMessageBox::buttonsFor(int type) {
  if (type == 1) return {"Yes", "No"};
  if (type == 2) return {"Yes"};
  return {"OK"};
}

vgui::CRect EditorMessageBox::buttonRect(int count, int index, double width, double height) {
  // Right-aligned row, the first button leftmost.
  double gap = 10;
  double right = width - kMargin - (count - 1 - index) * (kButtonWidth + gap);
  double bottom = height - kMargin;
  return vgui::CRect(right - kButtonWidth, bottom - kButtonHeight, right, bottom);
}

bool EditorMessageBox::show(const char* text, const char* title, int type) {
  if (std::this_thread::get_id() != guiThread_ || !frame_ || !frame_->isOpen() ||
      closing_.load()) {
    // Nobody to ask on this thread: say it and take the safe answer.
    std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
    return type != 1;
  }
  // The host's window may vanish while we wait: its errors must not reach
  // Xlib's exiting default handler.
  vgui::XErrorTrap trap(frame_->getDisplay());
  int chosen;
  {
    Dialog dialog(frame_, closing_, text, title, type);
    chosen = dialog.run();
  }
  frame_->invalidRect(frame_->getViewSize());
  return chosen == 0;
}

void EditorMessageBox::post(const char* text, const char* title) {
  std::pair<std::string, std::string> alert(text ? text : "", title ? title : "");
  std::lock_guard<std::mutex> lock(postedMutex_);
  // A set with three missing files says so once; a flood stays a few dialogs.
  if (posted_.size() < 4 && std::find(posted_.begin(), posted_.end(), alert) == posted_.end())
    posted_.push_back(std::move(alert));
}

void EditorMessageBox::showPosted() {
  if (std::this_thread::get_id() != guiThread_) return;
  for (;;) {
    std::pair<std::string, std::string> alert;
    {
      std::lock_guard<std::mutex> lock(postedMutex_);
      if (posted_.empty()) break;
      alert = std::move(posted_.front());
      posted_.pop_front();
    }
    show(alert.first.c_str(), alert.second.c_str(), 0);
  }
}
