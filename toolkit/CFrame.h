// The top view: a child window of the host's window on an X connection of
// our own, holding views in drawing order (last added on top). Drawing goes
// into an image back buffer that is copied to the window, so no cairo object
// ever holds the X connection.
//
// Views live in frame pixels (the 1x layout). With a scale factor s the
// window and the back buffer are s times as large, drawing is scaled (see
// CDrawContext) and mouse positions are divided by s before views see them,
// so views, their mouse handling and knob travel need not know the factor.
// Threads: everything on the thread that calls idle() (the host's editor idle
// thread); views' values may be set from any thread, they are drawn here.
#pragma once

#include <cairo.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "toolkit/CView.h"

struct _XDisplay;
union _XEvent;

namespace vgui {

class EditorInterface;

class CFrame : public CView {
 public:
  // `systemWindow` is the parent X11 Window id; the window is `scale` times
  // the size. Check isOpen() afterwards.
  CFrame(const CRect& size, void* systemWindow, EditorInterface* editor, double scale = 1.0);

  bool isOpen() const { return window_ != 0; }
  EditorInterface* getEditor() const { return editor_; }

  // Views: addView takes over the caller's reference.
  bool addView(CView* view);
  // Takes the view out; forgets it when `withForget`.
  bool removeView(CView* view, bool withForget = true);
  void removeAll(bool withForget = true);
  bool isChild(const CView* view) const;
  int getNbViews() const { return static_cast<int>(views_.size()); }
  CView* getView(int index) const;

  void setFocusView(CView* view);
  CView* getFocusView() const { return focusView_; }

  // Handles pending X events without blocking, then redraws what is dirty.
  void idle();
  // Redraws dirty views and the invalidated rectangles now.
  void redrawDirty();
  // Marks a rectangle for redrawing at the next idle. Any thread: off the
  // GUI thread it marks the whole frame.
  void invalidRect(const CRect& rect) override;
  // Runs events and redraws until `done` answers true or `timeoutMs` passes
  // (negative: no limit); answers whether `done` ended it.
  bool runModalLoop(const std::function<bool()>& done, int timeoutMs = -1);

  // One X event for this frame (used by modal loops of pop-ups).
  void dispatchEvent(_XEvent* event);
  _XDisplay* getDisplay() const { return display_; }
  unsigned long getWindow() const { return window_; }
  // Frame point -> root window point.
  CPoint localToScreen(const CPoint& p) const;
  // Window pixel -> frame point.
  CPoint windowToLocal(int x, int y) const;

  // Resizes the window and the back buffer to `scale` times the frame and
  // redraws everything. Factors that are not positive and finite are refused.
  void setScaleFactor(double scale);
  double getScaleFactor() const { return scale_; }
  // The window's size in pixels at the current factor.
  int deviceWidth() const;
  int deviceHeight() const;

  // A copy of what the frame shows, for checks (caller destroys it).
  cairo_surface_t* copyBackBuffer() const;

  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;

 protected:
  ~CFrame() override;

 private:
  void open(unsigned long parent);
  void closeWindow();
  void blit(const CRect& rect);
  void blitPixels(int x, int y, int w, int h);
  void paintRect(const CRect& rect);
  void handleButton(_XEvent* event, bool press);
  void handleMotion(_XEvent* event);
  void handleKey(_XEvent* event);
  void setCapture(CView* view);

  EditorInterface* editor_;
  _XDisplay* display_ = nullptr;
  unsigned long window_ = 0;
  void* gc_ = nullptr;
  cairo_surface_t* backBuffer_ = nullptr;
  std::vector<CView*> views_;
  std::vector<CRect> invalid_;
  CView* focusView_ = nullptr;
  CView* captureView_ = nullptr;
  unsigned long lastClickTime_ = 0;
  unsigned int lastClickButton_ = 0;
  double scale_ = 1.0;
  std::atomic<std::thread::id> guiThread_;
};

}  // namespace vgui
