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

TEST(HostRecorder, CountsOpcodesSeparatelyAndClears) {
  HostRecorder recorder;
  recorder.countCall(audioMasterGetTime);
  recorder.countCall(audioMasterGetTime);
  recorder.countCall(audioMasterVersion);
  recorder.countCall(-1);
  recorder.countCall(100000);
  recorder.recordEdit(5, true);
  recorder.recordEdit(5, false);
  recorder.recordWindowSize(640, 480);
  EXPECT_EQ(recorder.callCount(audioMasterGetTime), 2);
  EXPECT_EQ(recorder.callCount(audioMasterVersion), 1);
  EXPECT_EQ(recorder.callCount(audioMasterAutomate), 0);
  EXPECT_EQ(recorder.callCount(100000), 0);
  EXPECT_EQ(recorder.unknownCallCount(), 2);
  auto edits = recorder.edits();
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_TRUE(edits[0].begin);
  EXPECT_FALSE(edits[1].begin);
  ASSERT_EQ(recorder.windowSizes().size(), 1u);
  EXPECT_EQ(recorder.windowSizes()[0].height, 480);
  recorder.clear();
  EXPECT_EQ(recorder.callCount(audioMasterGetTime), 0);
  EXPECT_EQ(recorder.unknownCallCount(), 0);
  EXPECT_TRUE(recorder.edits().empty());
  EXPECT_TRUE(recorder.windowSizes().empty());
}
