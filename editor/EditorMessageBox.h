// The instrument's message box while the editor window is open: a modal
// dialog over the panel with the title as headline, the text, and the
// buttons of the type ("OK"; "Yes" and "No"; "Yes"). Enter chooses the
// highlighted button (the first at the start), Escape answers "No" (or the
// only button), Tab and the arrow keys move the highlight.
// It answers for the plug-in instance of its editor only. The dialog ends
// with the "No" (or only) answer when the editor's window goes away under it
// or the handler is destroyed.
// The dialog is as many times larger as the editor's window (its frame's factor).
// Threads: show() runs its own event loop on the editor's GUI thread; from any
// other thread it answers without asking, as when no editor is open. post()
// may run on any thread: the alert waits for showPosted() on the GUI thread
// (the editor's idle). The destructor may run on any thread: it ends a dialog
// on screen and waits until show() and post() have returned.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "support/MessageBox.h"
#include "toolkit/CRect.h"

namespace vgui {
class CFrame;
}

class EditorMessageBox : public MessageBoxHandler {
 public:
  static constexpr double kWidth = 380;
  static constexpr double kButtonWidth = 84;
  static constexpr double kButtonHeight = 26;

  // `owner` is the plug-in instance whose messages this dialog shows.
  EditorMessageBox(vgui::CFrame* frame, const void* owner);
  ~EditorMessageBox() override;
  EditorMessageBox(const EditorMessageBox&) = delete;
  EditorMessageBox& operator=(const EditorMessageBox&) = delete;

  bool show(const char* text, const char* title, int type) override;
  void post(const char* text, const char* title) override;
  // Shows the posted alerts, one after another. GUI thread.
  void showPosted();

  // Button captions of a type, first (the "true" answer) first.
  static std::vector<std::string> buttonsFor(int type);
  // Where button `index` of `count` lies in a dialog of the given size.
  static vgui::CRect buttonRect(int count, int index, double width, double height);
  // The X window of the dialog on screen, 0 when none is (tests find it).
  static unsigned long openWindow();
  // Title and text of the dialog on screen, "" when none is.
  static std::string openMessage();

 private:
  vgui::CFrame* frame_;
  std::thread::id guiThread_;
  std::atomic<bool> closing_{false};
  std::mutex postedMutex_;
  std::deque<std::pair<std::string, std::string>> posted_;  // text, title
};
