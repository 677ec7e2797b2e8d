// Captures the message boxes shown while it lives, answering each with `answer`.
#pragma once

#include <string>
#include <vector>

#include "support/MessageBox.h"

namespace testfiles {

class MessageLog : public MessageBoxHandler {
 public:
  struct Shown {
    std::string text, title;
    int type;
  };
  explicit MessageLog(bool answerWith = true) : answer(answerWith) {
    installMessageBoxHandler(this);
  }
  ~MessageLog() override { removeMessageBoxHandler(this); }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  bool show(const char* text, const char* title, int type) override {
    shown.push_back({text, title, type});
    return answer;
  }
  // Each message as "title|text|type".
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const Shown& m : shown) out.push_back(m.title + "|" + m.text + "|" + std::to_string(m.type));
    return out;
  }
  std::vector<Shown> shown;
  bool answer = true;
};

}  // namespace testfiles
