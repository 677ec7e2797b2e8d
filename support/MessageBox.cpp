#include "support/MessageBox.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
std::mutex& handlerMutex() {
  static std::mutex m;
  return m;
}
std::vector<MessageBoxHandler*>& handlers() {
  static std::vector<MessageBoxHandler*> h;
  return h;
}
}  // namespace

void installMessageBoxHandler(MessageBoxHandler* handler) {
  if (!handler) return;
  std::lock_guard<std::mutex> lock(handlerMutex());
  handlers().push_back(handler);
}

void removeMessageBoxHandler(MessageBoxHandler* handler) {
  std::lock_guard<std::mutex> lock(handlerMutex());
  auto& h = handlers();
  h.erase(std::remove(h.begin(), h.end(), handler), h.end());
}

bool MessageBox(int /*window*/, const char* text, const char* title, int type) {
  if (!text) text = "";
  if (!title) title = "";
  MessageBoxHandler* handler = nullptr;
  {
    std::lock_guard<std::mutex> lock(handlerMutex());
    if (!handlers().empty()) handler = handlers().back();
  }
  if (handler) return handler->show(text, title, type);
  // Nobody to ask: a question gets "No", an alert its default button.
  std::fprintf(stderr, "Vellamor-ZUL: %s %s\n", title, text);
  return type != 1;
}
