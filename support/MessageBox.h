// The one modal alert of the instrument. Types: 0 one default button, 1 "Yes"
// and "No", 2 "Yes" only. Returns true when the first button was pressed.
//
// Who answers is pluggable and belongs to one plug-in instance: each editor
// installs its dialog for its own instance while its window is open, so one
// instance's message never shows over another's window. A handler installed
// without an owner (tests, tools) answers whatever no instance's handler
// takes. With no handler the message goes to standard error, a question is
// answered "No" and an alert with its default button.
//
// Threads: any. A handler is never destroyed while a call of it runs on
// another thread: removal waits for it.
#pragma once

class MessageBoxHandler {
 public:
  virtual ~MessageBoxHandler() = default;
  virtual bool show(const char* text, const char* title, int type) = 0;
  // An alert whose answer nobody waits for, raised where a dialog must not
  // block (a loader thread, a host's call): shown when the handler can.
  virtual void post(const char* text, const char* title) { show(text, title, 0); }
};

// The most recently installed handler of an owner answers for it. `owner` is
// the plug-in instance (any stable address); null answers for everyone left.
void installMessageBoxHandler(MessageBoxHandler* handler, const void* owner = nullptr);
// Takes the handler out and returns once no other thread is inside its show().
void removeMessageBoxHandler(MessageBoxHandler* handler);

// While it lives, messages raised on this thread without a named owner are
// the owner's (the engine code that reports a failure does not know which
// instance it works for). Scopes nest; each thread has its own. In a scope
// marked `later`, alerts are posted rather than shown; questions still ask.
class MessageBoxOwner {
 public:
  explicit MessageBoxOwner(const void* owner, bool later = false);
  ~MessageBoxOwner();
  MessageBoxOwner(const MessageBoxOwner&) = delete;
  MessageBoxOwner& operator=(const MessageBoxOwner&) = delete;
};

// A message of `owner`'s instance.
bool MessageBoxFor(const void* owner, const char* text, const char* title, int type);
// A message of the instance the calling thread works for (see MessageBoxOwner).
// `window` is not used.
bool MessageBox(int window, const char* text, const char* title, int type);
