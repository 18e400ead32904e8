#include "jobs/run_log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "text/text_table.h"

namespace {

// A view that keeps its items as the list box would: newest at the top.
struct ListView : IRunLogView {
  std::vector<std::string> items;  // "#<index>" for entries, the text for notices
  int clears = 0;
  void ClearItems() override {
    items.clear();
    ++clears;
  }
  void InsertEntryAtTop(int index, const LogEntry&) override {
    items.insert(items.begin(), "#" + std::to_string(index));
  }
  void InsertNoticeAtTop(const std::string& text) override { items.insert(items.begin(), text); }
};

TEST(RunLog, FirstLineTakesIndexOneAndNewestIsOnTop) {
  ListView view;
  CRunLog log(&view);
  EXPECT_EQ(log.logCounter(), 0);
  EXPECT_EQ(log.AddLogLine("first", Message), 1);
  EXPECT_EQ(log.AddLogLine("second", Error), 2);
  EXPECT_EQ(view.items, (std::vector<std::string>{"#2", "#1"}));
  LogEntry e;
  ASSERT_TRUE(log.GetEntry(2, &e));
  EXPECT_EQ(e.text, "second");
  EXPECT_EQ(e.kind, Error);
  EXPECT_EQ(e.index, 2);
  EXPECT_FALSE(log.GetEntry(0, &e));  // index 0 is only reached at the 1000th line
  EXPECT_FALSE(log.GetEntry(3, &e));
  EXPECT_FALSE(log.GetEntry(-1, &e));
}

TEST(RunLog, TwoHundredthLineEmptiesTheListUnderTheNotice) {
  ListView view;
  CRunLog log(&view);
  for (int i = 1; i < 200; ++i) log.LogMessage("line " + std::to_string(i));
  EXPECT_EQ(view.items.size(), 199u);
  EXPECT_EQ(view.clears, 0);
  log.LogMessage("line 200");
  EXPECT_EQ(view.clears, 1);
  EXPECT_EQ(view.items, (std::vector<std::string>{"#200", LookupText("log_max")}));
  log.LogMessage("line 201");
  EXPECT_EQ(view.items.front(), "#201");
  EXPECT_EQ(view.items.size(), 3u);
}

TEST(RunLog, ThousandthLineWrapsToIndexZero) {
  ListView view;
  CRunLog log(&view);
  for (int i = 1; i < 1000; ++i) log.LogMessage("line " + std::to_string(i));
  EXPECT_EQ(log.logCounter(), 999);
  EXPECT_EQ(log.AddLogLine("line 1000", Error), 0);
  EXPECT_EQ(view.items,
            (std::vector<std::string>{"#0", LookupText("counter_max"), LookupText("log_max")}));
  LogEntry e;
  ASSERT_TRUE(log.GetEntry(0, &e));
  EXPECT_EQ(e.text, "line 1000");
  EXPECT_EQ(log.AddLogLine("line 1001", Message), 1);
  ASSERT_TRUE(log.GetEntry(1, &e));
  EXPECT_EQ(e.text, "line 1001");  // the earlier pass's entry is replaced
  EXPECT_EQ(log.EntryCount(), 1000u);
  EXPECT_EQ(view.clears, 5);
}

TEST(RunLog, TableNeverHoldsMoreThanAThousandEntries) {
  CRunLog log;  // no view: the model alone
  for (int i = 0; i < 5000; ++i) log.LogMessage("x");
  EXPECT_EQ(log.EntryCount(), 1000u);
  EXPECT_EQ(log.logCounter(), 5000 % 1000);
}

TEST(RunLog, LinesFromTwoThreadsAreSerialised) {
  // Every line must take its own index, and the view sees each exactly once.
  struct CountingView : IRunLogView {
    std::vector<int> seen;
    void ClearItems() override {}
    void InsertEntryAtTop(int index, const LogEntry&) override { seen.push_back(index); }
    void InsertNoticeAtTop(const std::string&) override {}
  } view;
  CRunLog log(&view);
  auto writer = [&log](const char* tag) {
    for (int i = 0; i < 400; ++i) log.LogMessage(tag);
  };
  std::thread a(writer, "worker");
  std::thread b(writer, "window");
  a.join();
  b.join();
  ASSERT_EQ(view.seen.size(), 800u);
  for (size_t i = 0; i < view.seen.size(); ++i) EXPECT_EQ(view.seen[i], static_cast<int>(i + 1));
  EXPECT_EQ(log.logCounter(), 800);
}

}  // namespace
