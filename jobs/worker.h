// The worker thread: sleeps until a job is requested, runs it over the targets
// (one file at a time, through its file codec), reports to its owner, and sleeps
// again; it lives until it is told to quit. A job is stopped cooperatively:
// between files through StopEvent/QuitEvent, inside a file through the codec's
// stop flag.
//
// Threads: the owner's thread calls AddTarget, StartJob, RequestStop,
// RequestQuit, the progress getters and WaitForEnd; everything else runs on the
// worker thread. Targets added while a job runs are kept for the next job.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "codec/file_codec.h"
#include "jobs/job_owner.h"
#include "jobs/job_request.h"
#include "platform/sync.h"

// Byte counters and job flags that the worker writes and the owner's progress
// timer reads; they only feed the display and the end-of-job handling.
struct JobProgress {
  std::atomic<uint64_t> baseBytes{0};   // always 0: the meter's lower bound
  std::atomic<uint64_t> doneBytes{0};   // bytes of the files finished so far
  std::atomic<uint64_t> totalBytes{0};  // bytes the job plans to process
  std::atomic<bool> jobRunning{false};  // started, and its end not yet handled by the owner
  std::atomic<bool> errorSeen{false};   // an error line came during the job
  std::atomic<bool> refused{false};     // the targets were refused (nothing processed)
  std::atomic<bool> notDone{false};     // a file or named target asked for was not done
};

class CWorkerThread : private ILogSink {
 public:
  CWorkerThread();
  // Asks the thread to quit and waits for it. An owner that handles the
  // worker's calls on its own thread must wait with WaitForEnd while it keeps
  // handling them, before it lets the worker be destroyed.
  ~CWorkerThread() override;
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Sets the owner and the fixed paths, then starts the thread (RunWorker).
  bool Start(IJobOwner* owner, const WorkerPaths& paths);

  // Appends a target and logs "Drag : " and the path; while a job runs the
  // target waits for the next job, and the log says so.
  void AddTarget(const std::string& path);
  // Targets waiting for the next job.
  std::vector<std::string> PendingTargets() const;
  // A target was named (dropped, or on the command line) but refused before
  // it reached the list: the next job must not fall back to programFolder in
  // its place. Cleared when a job takes the targets.
  void NoteRefusedTarget();
  // The file the job is working on, empty between files.
  std::string FileInProgress() const;

  // The portable part of a job's start: when a job runs, a stop request
  // (returns false). Otherwise resets the counters and flags, copies the
  // password and options, adds programFolder when there are no targets, sets
  // jobRunning and signals the worker (returns true). A job with no targets
  // because every named one was refused processes nothing.
  bool StartJob(const JobRequest& request);
  void SignalStart(int32_t mode);
  void RequestStop();
  void RequestQuit();
  // The owner calls this when it has handled JobFinished: clears jobRunning.
  void JobHandled() { progress.jobRunning = false; }
  bool JobRunning() const { return progress.jobRunning; }

  // The bytes processed so far: doneBytes plus the file in progress. It never
  // goes back and never counts a file twice, whenever it is read.
  uint64_t ProgressSum() const;

  // True once the thread has ended (after RequestQuit).
  bool IsFinished() const { return finished_.IsSet(); }
  // Waits up to timeoutMs (negative: no limit) for the thread's end; true when
  // it has ended. The window loops on this with a short time-out while it keeps
  // pumping the messages the worker sends.
  bool WaitForEnd(int timeoutMs);

  JobProgress progress;

  // One output name in folder: folder, separator, 13 letters and digits, ".cpy";
  // no entry of that name exists when it is returned. The names come from a
  // generator state of their own per thread, seeded once from the system's
  // random source, so that they do not repeat across folders, runs and machines.
  static std::string MakeOutputName(const std::string& folder);

 private:
  void RunWorker();
  void RunJob();
  void EncryptOne(const std::string& path, const platform::FileIdentity& listed);
  void DecryptOne(const std::string& path, const platform::FileIdentity& listed);
  void CheckOne(const std::string& path, const platform::FileIdentity& listed);
  void SetFileInProgress(const std::string& path);
  // The status text and FileInProgress for a file to decipher or check.
  void ShowFileInProgress(const std::string& path);
  // True when a stop or quit was asked for (or the test failed).
  bool StopOrQuitSignalled();
  // Opens the wipe journal for the job and finishes the wipes an earlier run left.
  void StartJournal();
  // Moves the finished file's bytes from the codec's count to doneBytes (all
  // of them when countThem, else they are dropped), as one step for ProgressSum.
  void FileDone(bool countThem = true);
  void LogMessage(const std::string& text);
  void LogError(const std::string& text);
  // The codec's lines pass through here on their way to the owner.
  void LogLine(const std::string& line, LogKind kind) override;

  IJobOwner* owner_ = nullptr;
  WorkerPaths paths_;
  CFileCodec codec_;
  CWipeJournal journal_;  // open while a job runs

  // The job request, written by the owner while no job runs.
  std::string password_;
  int32_t mode_ = Cryption;
  bool zero_ = true;
  bool rand_ = true;
  bool accountForTargets_ = false;
  bool verify_ = true;
  bool checkOnly_ = false;

  // Targets: the owner adds, the worker takes them all at the start of a job.
  mutable std::mutex targetsMutex_;
  std::vector<std::string> targets_;
  bool jobTookTargets_ = false;  // targets_ now collects for the next job
  bool targetRefused_ = false;   // a named target was refused since the last job took them
  std::string fileInProgressPath_;

  std::atomic<bool> stopRequested_{false};
  std::atomic<uint32_t> moving_{0};  // odd while FileDone moves bytes between the two counts

  platform::Event QuitEvent;
  platform::Event StartEvent;
  platform::Event StopEvent;
  platform::Event finished_;
  platform::Thread thread_;
};
