#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/HostRecorder.h"

using namespace vst;
using host::HostRecorder;

TEST(HostRecorder, KeepsEveryRecordFromConcurrentThreads) {
  HostRecorder recorder;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&recorder, t] {
      for (int i = 0; i < 1000; ++i) {
        recorder.countCall(audioMasterAutomate);
        recorder.recordAutomation(t, static_cast<float>(i));
        recorder.recordDisplayUpdate();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto automations = recorder.automations();
  ASSERT_EQ(automations.size(), 4000u);
  int perThread[4] = {};
  for (const auto& a : automations) ++perThread[a.index];
  for (int count : perThread) EXPECT_EQ(count, 1000);
  EXPECT_EQ(recorder.callCount(audioMasterAutomate), 4000);
  EXPECT_EQ(recorder.displayUpdates(), 4000);
}

TEST(HostRecorder, OutOfRangeOpcodesGoToOneBucketAndClearForgetsAll) {
  HostRecorder recorder;
  recorder.countCall(audioMasterGetTime);
  recorder.countCall(-1);
  recorder.countCall(100000);
  recorder.recordEdit(5, true);
  EXPECT_EQ(recorder.callCount(audioMasterGetTime), 1);
  EXPECT_EQ(recorder.callCount(100000), 0);
  EXPECT_EQ(recorder.unknownCallCount(), 2);
  recorder.clear();
  EXPECT_EQ(recorder.callCount(audioMasterGetTime), 0);
  EXPECT_EQ(recorder.unknownCallCount(), 0);
  EXPECT_TRUE(recorder.edits().empty());
}
