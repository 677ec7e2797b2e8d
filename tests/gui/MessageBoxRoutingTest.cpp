// Who answers a message box: the handler of the instance that raised it, and
// never a handler that is on its way out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/MessageBox.h"

namespace {

using namespace std::chrono_literals;

// Answers "Yes" after the test lets it, noting what it was asked.
class GatedHandler : public MessageBoxHandler {
 public:
  bool show(const char* text, const char*, int) override {
    std::unique_lock<std::mutex> lock(mutex_);
    asked_.push_back(text);
    showing_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, 5s, [&] { return open_; });
    showing_ = false;
    changed_.notify_all();
    return true;
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool waitShowing() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return showing_; });
  }
  bool showing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return showing_;
  }
  std::vector<std::string> asked() {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> asked_;
  bool showing_ = false;
  bool open_ = false;
};

struct Recorder : MessageBoxHandler {
  bool show(const char* text, const char*, int) override {
    asked.push_back(text);
    return true;
  }
  std::vector<std::string> asked;
};

TEST(MessageBoxRouting, AMessageReachesOnlyItsOwnInstancesHandler) {
  const int first = 1, second = 2, third = 3;  // instances, by address
  Recorder a, b;
  installMessageBoxHandler(&a, &first);
  installMessageBoxHandler(&b, &second);
  MessageBoxFor(&second, "to second", "Error!", 0);
  {
    // Engine code on a thread working for the first instance.
    MessageBoxOwner working(&first);
    MessageBox(0, "marked first", "Error!", 0);
    {
      MessageBoxOwner nested(&second);
      MessageBox(0, "marked second", "Error!", 0);
    }
    MessageBox(0, "first again", "Error!", 0);
    // The mark is this thread's only; another thread's question finds nobody.
    bool answer = true;
    std::thread([&] { answer = MessageBox(0, "unmarked", "Warning!", 1); }).join();
    EXPECT_FALSE(answer) << "no handler: a question is answered No";
  }
  EXPECT_FALSE(MessageBoxFor(&third, "no editor", "Warning!", 1));
  EXPECT_EQ(a.asked, (std::vector<std::string>{"marked first", "first again"}));
  EXPECT_EQ(b.asked, (std::vector<std::string>{"to second", "marked second"}));

  // A handler without an owner takes what no instance's handler takes.
  Recorder everyone;
  installMessageBoxHandler(&everyone);
  EXPECT_TRUE(MessageBoxFor(&third, "no editor", "Warning!", 1));
  MessageBoxFor(&first, "to first", "Error!", 0);
  EXPECT_EQ(everyone.asked, std::vector<std::string>{"no editor"});
  EXPECT_EQ(a.asked.back(), "to first");
  for (Recorder* r : {&a, &b, &everyone}) removeMessageBoxHandler(r);
}

TEST(MessageBoxRouting, RemovingAHandlerWaitsUntilItsDialogOnAnotherThreadEnds) {
  GatedHandler gated;
  installMessageBoxHandler(&gated);
  std::thread asker([] { MessageBox(0, "Selected file is missing", "Warning!", 0); });
  ASSERT_TRUE(gated.waitShowing());
  // The editor closes while its dialog is up on another thread.
  std::atomic<bool> removed{false};
  std::thread closer([&] {
    removeMessageBoxHandler(&gated);
    removed = true;
  });
  std::this_thread::sleep_for(200ms);
  bool removedWhileShowing = removed.load() && gated.showing();
  gated.open();
  closer.join();
  asker.join();
  EXPECT_FALSE(removedWhileShowing) << "the handler could be destroyed under its running dialog";
  EXPECT_FALSE(gated.showing());
}

}  // namespace
