#include "jobs/worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "codec/wipe_journal.h"
#include "platform/file.h"
#include "platform/system.h"
#include "testkit/temp_dir.h"
#include "text/text_table.h"

namespace {

using Lines = std::vector<std::string>;

// Records what the worker tells its owner.
class Owner : public IJobOwner {
 public:
  void LogLine(const std::string& line, LogKind kind) override {
    std::lock_guard<std::mutex> lock(m_);
    lines_.push_back(line);
    kinds_.push_back(kind);
  }
  void SetStatusText(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    statuses_.push_back(text);
  }
  void JobFinished(bool completed) override {
    std::lock_guard<std::mutex> lock(m_);
    results_.push_back(completed);
    ++finished_;
    cv_.notify_all();
  }
  // Ends of jobs reported so far (readable without waiting).
  int Finished() const { return finished_; }
  // Waits for the n-th end of job; its completed flag.
  bool WaitJob(size_t n) {
    std::unique_lock<std::mutex> lock(m_);
    EXPECT_TRUE(cv_.wait_for(lock, std::chrono::seconds(60), [&] { return results_.size() >= n; }));
    return results_.size() >= n && results_[n - 1];
  }
  Lines lines() {
    std::lock_guard<std::mutex> lock(m_);
    return lines_;
  }
  Lines statuses() {
    std::lock_guard<std::mutex> lock(m_);
    return statuses_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_);
    lines_.clear();
    kinds_.clear();
    statuses_.clear();
  }
  size_t CountContaining(const std::string& piece) {
    std::lock_guard<std::mutex> lock(m_);
    size_t n = 0;
    for (const auto& l : lines_) n += l.find(piece) != std::string::npos;
    return n;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  Lines lines_;
  std::vector<LogKind> kinds_;
  Lines statuses_;
  std::vector<bool> results_;
  std::atomic<int> finished_{0};
};

JobRequest Request(int mode, const std::string& password = "pw", bool passes = false) {
  JobRequest r;
  r.mode = mode;
  r.password = password;
  r.zero = passes;
  r.rand = passes;
  return r;
}

struct Fixture {
  testkit::TempDir dir;
  Owner owner;
  CWorkerThread worker;
  WorkerPaths paths;

  Fixture() {
    // The system's own folders, for the refusals; a program in the temp folder.
    paths = CurrentWorkerPaths();
    paths.programFolder = dir.path();
    paths.programPath = dir.Join("tavro-program");
    EXPECT_TRUE(worker.Start(&owner, paths));
  }
  // Runs one job to its end; its completed flag.
  bool Run(int mode, const std::string& password = "pw", bool passes = false) {
    EXPECT_TRUE(worker.StartJob(Request(mode, password, passes)));
    const bool done = owner.WaitJob(++count);
    worker.JobHandled();
    return done;
  }
  size_t count = 0;
};

bool IsOutputName(const std::string& name) {
  static const std::regex pattern("[A-Za-z0-9]{13}\\.cpy");
  return std::regex_match(name, pattern);
}

TEST(Worker, CleanEncipheringJobLogsExactlyThreeLines) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("a.txt"), testkit::PatternBytes(5000, 1));
  testkit::WriteAll(f.dir.Join("b.txt"), "");
  f.worker.AddTarget(f.dir.Join("a.txt"));
  f.worker.AddTarget(f.dir.Join("b.txt"));
  f.owner.Clear();
  ASSERT_TRUE(f.Run(Encryption));
  EXPECT_EQ(f.owner.lines(), Lines({LookupText("message_encryption_started"), LookupText("message_problem_analysis"),
                                    LookupText("message_encryption_finished")}));
  EXPECT_FALSE(f.worker.progress.errorSeen);
  const auto names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 2u);
  for (const auto& n : names) EXPECT_TRUE(IsOutputName(n)) << n;
  EXPECT_EQ(f.owner.statuses(), Lines({"a.txt", "b.txt"}));
}

TEST(Worker, AddTargetLogsTheDragLine) {
  Fixture f;
  f.worker.AddTarget(f.dir.Join("x"));
  EXPECT_EQ(f.owner.lines(), Lines({"Drag : " + f.dir.Join("x")}));
  EXPECT_EQ(f.worker.PendingTargets(), Lines({f.dir.Join("x")}));
}

TEST(Worker, AutomaticModeDeciphersLowerCaseCpyAndEnciphersUpperCase) {
  Fixture f;
  const auto plain = testkit::PatternBytes(777, 2);
  testkit::WriteAll(f.dir.Join("A"), plain);
  f.worker.AddTarget(f.dir.Join("A"));
  ASSERT_TRUE(f.Run(Encryption));
  auto names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 1u);
  // A.cpy in name only: rename the enciphered file, and add a B.CPY.
  ASSERT_EQ(platform::RenameNoReplace(f.dir.Join(names[0]), f.dir.Join("A.cpy")), platform::RenameResult::Done);
  testkit::WriteAll(f.dir.Join("B.CPY"), "upper case is not ours");
  f.worker.AddTarget(f.dir.path());
  ASSERT_TRUE(f.Run(Cryption));
  names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 2u) << names[0];
  EXPECT_EQ(testkit::ReadAll(f.dir.Join("A")), plain);
  EXPECT_FALSE(testkit::Exists(f.dir.Join("B.CPY")));
  const std::string other = names[0] == "A" ? names[1] : names[0];
  EXPECT_TRUE(IsOutputName(other)) << other;
  EXPECT_FALSE(f.worker.progress.errorSeen);
}

TEST(Worker, FilesAreProcessedInTheOrderTheTargetsWereAdded) {
  Fixture f;
  for (const char* n : {"x", "y", "z"}) {
    testkit::WriteAll(f.dir.Join(n), n);
    f.worker.AddTarget(f.dir.Join(n));
  }
  ASSERT_TRUE(f.Run(Encryption));
  EXPECT_EQ(f.owner.statuses(), Lines({"x", "y", "z"}));
}

TEST(Worker, EmptyTargetListMeansTheProgramFolderButNeverTheProgram) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("tavro-program"), "the program itself");
  testkit::WriteAll(f.dir.Join("data"), "data");
  ASSERT_TRUE(f.Run(Encryption));
  const auto names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(testkit::Exists(f.dir.Join("tavro-program")));
  EXPECT_FALSE(testkit::Exists(f.dir.Join("data")));
}

TEST(Worker, PlannedBytesAndDoneBytes) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("k"), testkit::PatternBytes(1000, 3));
  f.worker.AddTarget(f.dir.Join("k"));
  struct Seen : Owner {
    CWorkerThread* w = nullptr;
    uint64_t total = 0, done = 0, sum = 0;
    void JobFinished(bool c) override {
      total = w->progress.totalBytes;
      done = w->progress.doneBytes;
      sum = w->ProgressSum();
      Owner::JobFinished(c);
    }
  };
  // The counters are read at the end of the job, before the worker clears them.
  Seen seen;
  CWorkerThread worker;
  seen.w = &worker;
  testkit::WriteAll(f.dir.Join("m"), testkit::PatternBytes(1000, 4));
  ASSERT_TRUE(worker.Start(&seen, f.paths));
  worker.AddTarget(f.dir.Join("m"));
  ASSERT_TRUE(worker.StartJob(Request(Encryption, "pw", true)));
  ASSERT_TRUE(seen.WaitJob(1));
  EXPECT_EQ(seen.total, 4000u);
  // Header (280 bytes, less the lead block's plain bytes counted in the body)
  // plus the body, two overwrite passes and the read-back of 1000 bytes each.
  EXPECT_GE(seen.done, 4000u);
  EXPECT_LE(seen.done, 4000u + 280u);
  EXPECT_EQ(seen.sum, seen.done);  // a finished file is not counted twice
  // Cleared right after the report (which the owner does not wait for).
  for (int i = 0; i < 20000 && worker.progress.totalBytes != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(worker.progress.totalBytes, 0u);
}

TEST(Worker, RefusedTargetsProcessNothingAndTheNextJobStartsAfresh) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("x"), "x");
  f.worker.AddTarget(f.dir.Join("x"));
  // The refused folder is the platform's: on Linux the root, on Windows the
  // system drive given as a drive.
  f.worker.AddTarget(platform::PathSeparator() == '/' ? "/" : "C:");
  f.owner.Clear();
  ASSERT_TRUE(f.Run(Decryption));
  EXPECT_TRUE(f.worker.progress.refused);
  EXPECT_EQ(f.owner.CountContaining("error_directory_systemroot"), 1u);
  EXPECT_TRUE(testkit::Exists(f.dir.Join("x")));
  EXPECT_TRUE(f.worker.PendingTargets().empty());
  EXPECT_EQ(f.owner.lines().back(), LookupText("message_decryption_finished"));
}

// A file large enough that a stop arrives while it is being worked on.
constexpr size_t kLarge = 48u << 20;

TEST(Worker, StopAbandonsTheFileInProgressAndLosesNothing) {
  Fixture f;
  const auto big = testkit::PatternBytes(kLarge, 5);
  testkit::WriteAll(f.dir.Join("big"), big);
  testkit::WriteAll(f.dir.Join("after"), "untouched");
  f.worker.AddTarget(f.dir.Join("big"));
  f.worker.AddTarget(f.dir.Join("after"));
  ASSERT_TRUE(f.worker.StartJob(Request(Encryption)));
  while (f.worker.ProgressSum() < (1u << 20)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(f.worker.StartJob(Request(Encryption)));  // a start while running is a stop
  EXPECT_FALSE(f.owner.WaitJob(1));
  f.worker.JobHandled();
  EXPECT_EQ(testkit::ListNames(f.dir.path()), Lines({"after", "big"}));
  EXPECT_EQ(testkit::ReadAll(f.dir.Join("big")), big);
  EXPECT_EQ(f.owner.CountContaining(LookupText("message_encryption_canceled")), 2u);  // the codec's and the job's
}

TEST(Worker, StopAfterTheLastFileStillReportsStoppedButNextJobRuns) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("a"), "a");
  f.worker.AddTarget(f.dir.Join("a"));
  ASSERT_TRUE(f.Run(Encryption));
  // A stop that comes when no job runs must not cancel the next one.
  f.worker.RequestStop();
  testkit::WriteAll(f.dir.Join("b"), "b");
  f.worker.AddTarget(f.dir.Join("b"));
  f.owner.Clear();
  EXPECT_TRUE(f.Run(Encryption));
  EXPECT_EQ(f.owner.CountContaining("canceled"), 0u);
  EXPECT_FALSE(testkit::Exists(f.dir.Join("b")));
}

TEST(Worker, TargetsAddedDuringAJobWaitForTheNextJob) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("big"), testkit::PatternBytes(kLarge / 2, 6));
  testkit::WriteAll(f.dir.Join("late"), "late");
  f.worker.AddTarget(f.dir.Join("big"));
  ASSERT_TRUE(f.worker.StartJob(Request(Encryption)));
  while (f.worker.ProgressSum() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  f.worker.AddTarget(f.dir.Join("late"));
  ASSERT_TRUE(f.owner.WaitJob(1));
  f.worker.JobHandled();
  EXPECT_EQ(f.owner.CountContaining(LookupText("message_target_queued")), 1u);
  EXPECT_TRUE(testkit::Exists(f.dir.Join("late")));
  EXPECT_EQ(f.worker.PendingTargets(), Lines({f.dir.Join("late")}));
  f.count = 1;
  ASSERT_TRUE(f.Run(Encryption));
  EXPECT_FALSE(testkit::Exists(f.dir.Join("late")));
}

TEST(Worker, QuitWhileIdleEndsTheThread) {
  Owner owner;
  CWorkerThread worker;
  ASSERT_TRUE(worker.Start(&owner, WorkerPaths()));
  EXPECT_FALSE(worker.WaitForEnd(0));
  EXPECT_FALSE(worker.IsFinished());
  worker.RequestQuit();
  EXPECT_TRUE(worker.WaitForEnd(10000));
  EXPECT_TRUE(worker.IsFinished());
}

TEST(Worker, QuitDuringAJobReportsTheJobThenEnds) {
  testkit::TempDir dir;
  const auto big = testkit::PatternBytes(kLarge, 7);
  testkit::WriteAll(dir.Join("big"), big);
  Owner owner;
  CWorkerThread worker;
  ASSERT_TRUE(worker.Start(&owner, WorkerPaths()));
  worker.AddTarget(dir.Join("big"));
  ASSERT_TRUE(worker.StartJob(Request(Encryption)));
  while (worker.ProgressSum() < (1u << 20)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  worker.RequestQuit();
  EXPECT_TRUE(worker.WaitForEnd(30000));
  EXPECT_FALSE(owner.WaitJob(1));
  EXPECT_EQ(testkit::ReadAll(dir.Join("big")), big);
}

TEST(Worker, JobRequestedBeforeTheThreadRunsIsNotLost) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("f"), "f");
  Owner owner;
  CWorkerThread worker;
  worker.AddTarget(dir.Join("f"));
  ASSERT_TRUE(worker.StartJob(Request(Encryption)));
  ASSERT_TRUE(worker.Start(&owner, WorkerPaths()));
  EXPECT_TRUE(owner.WaitJob(1));
  EXPECT_FALSE(testkit::Exists(dir.Join("f")));
}

TEST(OutputName, ThirteenLettersAndDigitsInTheGivenFolder) {
  testkit::TempDir dir;
  for (int i = 0; i < 20; ++i) {
    const std::string name = CWorkerThread::MakeOutputName(dir.path());
    const size_t sep = platform::FindLastSeparator(name);
    ASSERT_NE(sep, std::string::npos);
    EXPECT_EQ(name.substr(0, sep), dir.path());
    EXPECT_TRUE(IsOutputName(name.substr(sep + 1))) << name;
  }
}

TEST(OutputName, ExistingCandidatesArePassedOver) {
  testkit::TempDir dir;
  // Every name taken so far is passed over.
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) {
    const std::string n = CWorkerThread::MakeOutputName(dir.path());
    for (const auto& earlier : names) EXPECT_NE(n, earlier);
    testkit::WriteAll(n, "");
    names.push_back(n);
  }
}

TEST(OutputName, NamesDoNotRepeatAcrossFoldersOrRuns) {
  // Names made in the same second, in two folders and on two threads (as two
  // runs would), gathered into one place later, must not meet.
  testkit::TempDir a, b;
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int64_t second = platform::NowSeconds();
    const std::string inA = CWorkerThread::MakeOutputName(a.path());
    const std::string inB = CWorkerThread::MakeOutputName(b.path());
    std::string onOtherThread;
    std::thread run([&] { onOtherThread = CWorkerThread::MakeOutputName(a.path()); });
    run.join();
    if (platform::NowSeconds() != second) continue;  // the clock moved on: try again within one second
    auto name = [](const std::string& p) { return p.substr(platform::FindLastSeparator(p) + 1); };
    EXPECT_NE(name(inA), name(inB));
    EXPECT_NE(name(inA), name(onOtherThread));
    return;
  }
  FAIL() << "no second to test in";
}

TEST(Worker, ProgressSumNeverGoesBackNorCountsAFileTwice) {
  Fixture f;
  for (int i = 0; i < 200; ++i) testkit::WriteAll(f.dir.Join("f" + std::to_string(i)), testkit::PatternBytes(77, i));
  f.worker.AddTarget(f.dir.path());
  std::atomic<bool> stop{false};
  std::atomic<size_t> backwards{0}, samples{0};
  std::thread sampler([&] {
    uint64_t last = 0;
    while (!stop) {
      const uint64_t now = f.worker.ProgressSum();
      // Cleared after the job's report: samples from then on mean nothing.
      if (f.owner.Finished() > 0) break;
      if (now < last) ++backwards;
      last = now;
      ++samples;
    }
  });
  EXPECT_TRUE(f.Run(Encryption));
  stop = true;
  sampler.join();
  EXPECT_GT(samples.load(), 0u);
  EXPECT_EQ(backwards.load(), 0u) << "of " << samples.load() << " samples";
}

TEST(Worker, JobStartFinishesInterruptedWipesAndTheWalkLeavesOutWhatTheJournalNames) {
  Fixture f;
  testkit::TempDir home;
  f.paths.dataFolder = home.path();
  CWorkerThread worker;
  Owner owner;
  ASSERT_TRUE(worker.Start(&owner, f.paths));
  const auto bytes = testkit::PatternBytes(5000, 6);
  testkit::WriteAll(f.dir.Join("report.txt"), bytes);
  // Left by a run that was killed during its passes, and one still wiping.
  testkit::WriteAll(f.dir.Join("12345678"), bytes);
  testkit::WriteAll(f.dir.Join("87654321"), bytes);
  {
    CWipeJournal crashed;
    ASSERT_TRUE(crashed.Open(home.path()));
    for (const char* name : {"12345678", "87654321"}) {
      WipeEntry e;
      e.folder = f.dir.path();
      e.name = name;
      e.size = bytes.size();
      ASSERT_TRUE(platform::IdentityOf(e.Path(), &e.identity));
      ASSERT_TRUE(crashed.Record(e));
    }
  }
  platform::File liveWipe;
  ASSERT_TRUE(liveWipe.OpenExisting(f.dir.Join("87654321")));

  worker.AddTarget(f.dir.path());
  owner.Clear();
  ASSERT_TRUE(worker.StartJob(Request(Encryption, "pw", true)));
  ASSERT_TRUE(owner.WaitJob(1));
  worker.JobHandled();
  EXPECT_EQ(owner.lines(), Lines({LookupText("message_encryption_started"), LookupText("message_problem_analysis"),
                                  LookupText("message") + " : " + LookupText("message_wipe_finished") + " : " +
                                      f.dir.Join("12345678"),
                                  LookupText("message_encryption_finished")}));
  liveWipe.Close();
  // The remnant is gone and was never taken for a new plain file; the live wipe was left alone.
  auto names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 2u) << names[0];
  const auto live = std::find(names.begin(), names.end(), "87654321");
  ASSERT_NE(live, names.end());
  names.erase(live);
  EXPECT_TRUE(IsOutputName(names[0])) << names[0];
  EXPECT_TRUE(testkit::ReadAll(f.dir.Join("87654321")) == bytes);
}

TEST(Worker, ACheckReadsEveryEncipheredFileAndChangesNothingNotEvenAnInterruptedWipe) {
  Fixture f;
  testkit::TempDir home;
  f.paths.dataFolder = home.path();
  CWorkerThread worker;
  Owner owner;
  ASSERT_TRUE(worker.Start(&owner, f.paths));
  testkit::WriteAll(f.dir.Join("good"), "good");
  testkit::WriteAll(f.dir.Join("other"), "other");
  worker.AddTarget(f.dir.Join("good"));
  ASSERT_TRUE(worker.StartJob(Request(Encryption, "pw")));
  ASSERT_TRUE(owner.WaitJob(1));
  worker.JobHandled();
  worker.AddTarget(f.dir.Join("other"));
  ASSERT_TRUE(worker.StartJob(Request(Encryption, "another")));
  ASSERT_TRUE(owner.WaitJob(2));
  worker.JobHandled();
  // A wipe a crash left: only a job that changes files may finish it.
  const auto bytes = testkit::PatternBytes(300, 2);
  testkit::WriteAll(f.dir.Join("1234"), bytes);
  {
    CWipeJournal crashed;
    ASSERT_TRUE(crashed.Open(home.path()));
    WipeEntry e;
    e.folder = f.dir.path();
    e.name = "1234";
    e.size = bytes.size();
    ASSERT_TRUE(platform::IdentityOf(e.Path(), &e.identity));
    ASSERT_TRUE(crashed.Record(e));
  }
  const auto journalBefore = testkit::ReadAll(home.Join("wipes.txt"));
  const auto names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 3u);

  JobRequest check = Request(Cryption, "pw", true);
  check.checkOnly = true;
  worker.AddTarget(f.dir.path());
  owner.Clear();
  ASSERT_TRUE(worker.StartJob(check));
  ASSERT_TRUE(owner.WaitJob(3));
  const Lines lines = owner.lines();
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines.front(), LookupText("message_check_started"));
  EXPECT_EQ(lines.back(), LookupText("message_check_finished"));
  EXPECT_EQ(owner.CountContaining(LookupText("message_check_intact") + " \"good\" (4 byte)"), 1u);
  EXPECT_EQ(owner.CountContaining(LookupText("error_password_missing")), 1u);
  EXPECT_TRUE(worker.progress.errorSeen);
  EXPECT_TRUE(worker.progress.notDone);
  worker.JobHandled();
  EXPECT_EQ(testkit::ListNames(f.dir.path()), names);
  EXPECT_TRUE(testkit::ReadAll(f.dir.Join("1234")) == bytes);
  EXPECT_TRUE(testkit::ReadAll(home.Join("wipes.txt")) == journalBefore);
}

TEST(Worker, TwoFilesInOneSecondGetDifferentNames) {
  Fixture f;
  testkit::WriteAll(f.dir.Join("one"), "1");
  testkit::WriteAll(f.dir.Join("two"), "2");
  f.worker.AddTarget(f.dir.path());
  ASSERT_TRUE(f.Run(Encryption));
  const auto names = testkit::ListNames(f.dir.path());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_NE(names[0], names[1]);
}

}  // namespace
