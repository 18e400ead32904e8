// A folder swapped for a symbolic link while a job runs must not lead the job
// out of the folder the user named: not when the walk descends into it, not
// when a file the walk listed is opened.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/target_expansion.h"
#include "jobs/worker.h"
#include "testkit/temp_dir.h"
#include "text/text_table.h"

namespace {

// dir/sub becomes a link to dir/../elsewhere (a sibling holding a victim).
struct Swap {
  testkit::TempDir root;
  std::string target, sub, elsewhere;
  Swap() {
    target = root.Join("target");
    sub = target + "/sub";
    elsewhere = root.Join("elsewhere");
    mkdir(target.c_str(), 0700);
    mkdir(sub.c_str(), 0700);
    mkdir(elsewhere.c_str(), 0700);
    testkit::WriteAll(sub + "/file", "mine");
    testkit::WriteAll(elsewhere + "/file", "not yours");
  }
  void Now() {
    EXPECT_EQ(rename(sub.c_str(), (sub + ".moved").c_str()), 0);
    EXPECT_EQ(symlink(elsewhere.c_str(), sub.c_str()), 0);
  }
};

TEST(WalkSwap, FolderSwappedForALinkBeforeTheWalkEntersItIsNotEntered) {
  // Two sub-folders; while the walk is in the first it visits, the other one
  // (listed already, not entered yet) becomes a link to a sibling folder.
  testkit::TempDir root;
  const std::string target = root.Join("target"), elsewhere = root.Join("elsewhere");
  for (const std::string& d : {target, target + "/one", target + "/two", elsewhere}) mkdir(d.c_str(), 0700);
  testkit::WriteAll(target + "/one/f1", "1");
  testkit::WriteAll(target + "/two/f2", "2");
  testkit::WriteAll(elsewhere + "/victim", "not yours");
  WorkerPaths paths;
  ExpansionContext context;
  context.paths = &paths;
  std::string entered;
  context.admit = [&](const std::string& path, const platform::FileIdentity&) {
    if (entered.empty()) {
      entered = path;
      const std::string other = target + (path.find("/one/") != std::string::npos ? "/two" : "/one");
      EXPECT_EQ(rename(other.c_str(), (other + ".moved").c_str()), 0);
      EXPECT_EQ(symlink(elsewhere.c_str(), other.c_str()), 0);
    }
    return true;
  };
  std::vector<std::string> targets = {target}, work;
  ASSERT_EQ(ExpandTargets(targets, work, Encryption, context), ExpandResult::Done);
  EXPECT_EQ(work, std::vector<std::string>{entered});
}

class SwappingOwner : public IJobOwner {
 public:
  explicit SwappingOwner(Swap* swap) : swap_(swap) {}
  void LogLine(const std::string& line, LogKind) override {
    std::lock_guard<std::mutex> lock(m_);
    lines.push_back(line);
  }
  // Called with the file's name just before the codec opens it.
  void SetStatusText(const std::string&) override { swap_->Now(); }
  void JobFinished(bool) override {
    std::lock_guard<std::mutex> lock(m_);
    done = true;
    cv_.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::seconds(60), [&] { return done; });
  }
  std::vector<std::string> lines;

 private:
  Swap* swap_;
  std::mutex m_;
  std::condition_variable cv_;
  bool done = false;
};

TEST(WalkSwap, FileWhoseFolderBecameALinkAfterTheWalkIsLeftAlone) {
  Swap swap;
  testkit::TempDir home;
  SwappingOwner owner(&swap);
  CWorkerThread worker;
  WorkerPaths paths = CurrentWorkerPaths();
  paths.programFolder = swap.target;
  paths.programPath = swap.root.Join("tavro");
  paths.dataFolder = home.path();
  ASSERT_TRUE(worker.Start(&owner, paths));
  worker.AddTarget(swap.target);
  JobRequest request;
  request.mode = Encryption;
  request.password = "pw";
  ASSERT_TRUE(worker.StartJob(request));
  ASSERT_TRUE(owner.Wait());
  const std::string expected =
      LookupText("error") + " : " + LookupText("error_file_replaced") + " : " + swap.sub + "/file";
  EXPECT_NE(std::find(owner.lines.begin(), owner.lines.end(), expected), owner.lines.end());
  EXPECT_EQ(testkit::ListNames(swap.elsewhere), std::vector<std::string>{"file"});
  EXPECT_EQ(testkit::ReadAll(swap.elsewhere + "/file"), std::vector<unsigned char>({'n', 'o', 't', ' ', 'y', 'o', 'u', 'r', 's'}));
  EXPECT_EQ(testkit::ListNames(swap.sub + ".moved"), std::vector<std::string>{"file"});
}

}  // namespace
