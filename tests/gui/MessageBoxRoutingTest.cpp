// Who answers a message box: the handler of the instance that raised it, and
// never a handler that is on its way out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/MessageBox.h"

namespace {

using namespace std::chrono_literals;

// Shows its dialog until the test lets it go, then answers "Yes".
struct GatedHandler : MessageBoxHandler {
  bool show(const char*, const char*, int) override {
    showing = true;
    for (int i = 0; i < 500 && !open; ++i) std::this_thread::sleep_for(10ms);
    showing = false;
    return true;
  }
  std::atomic<bool> showing{false}, open{false};
};

struct Recorder : MessageBoxHandler {
  bool show(const char* text, const char*, int) override {
    asked.push_back(text);
    return true;
  }
  void post(const char* text, const char*) override { posted.push_back(text); }
  std::vector<std::string> asked, posted;
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
    {
      // A loader's mark: its alerts wait for the window, its questions ask.
      MessageBoxOwner loading(&first, true);
      EXPECT_TRUE(MessageBox(0, "posted", "Warning!", 0));
      MessageBox(0, "asked while loading", "Warning!", 1);
    }
    // The mark is this thread's only; another thread's question finds nobody.
    bool answer = true;
    std::thread([&] { answer = MessageBox(0, "unmarked", "Warning!", 1); }).join();
    EXPECT_FALSE(answer) << "no handler: a question is answered No";
  }
  EXPECT_FALSE(MessageBoxFor(&third, "no editor", "Warning!", 1));
  EXPECT_EQ(a.asked,
            (std::vector<std::string>{"marked first", "first again", "asked while loading"}));
  EXPECT_EQ(a.posted, std::vector<std::string>{"posted"});
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
  for (int i = 0; i < 500 && !gated.showing; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(gated.showing);
  // The editor closes while its dialog is up on another thread.
  std::atomic<bool> removed{false};
  std::thread closer([&] {
    removeMessageBoxHandler(&gated);
    removed = true;
  });
  std::this_thread::sleep_for(200ms);
  bool removedWhileShowing = removed && gated.showing;
  gated.open = true;
  closer.join();
  asker.join();
  EXPECT_FALSE(removedWhileShowing) << "the handler could be destroyed under its running dialog";
  EXPECT_FALSE(gated.showing);
}

}  // namespace
