// The one modal alert of the instrument. Types: 0 one default button, 1 "Yes"
// and "No", 2 "Yes" only. Returns true when the first button was pressed.
//
// Who answers is pluggable: the editor installs a dialog while its window is
// open, tests install a recorder. With no handler the message goes to standard
// error, a question is answered "No" and an alert with its default button.
#pragma once

class MessageBoxHandler {
 public:
  virtual ~MessageBoxHandler() = default;
  virtual bool show(const char* text, const char* title, int type) = 0;
};

// The most recently installed handler answers. Control thread only.
void installMessageBoxHandler(MessageBoxHandler* handler);
void removeMessageBoxHandler(MessageBoxHandler* handler);

bool MessageBox(int window, const char* text, const char* title, int type);
