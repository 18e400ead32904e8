#include "jobs/worker.h"

#include <thread>

#include "codec/random.h"
#include "jobs/target_expansion.h"
#include "platform/file.h"
#include "platform/system.h"
#include "text/text_table.h"

WorkerPaths CurrentWorkerPaths() {
  WorkerPaths paths;
  paths.programPath = platform::ProgramPath();
  const size_t sep = platform::FindLastSeparator(paths.programPath);
  paths.programFolder = sep == std::string::npos ? std::string() : paths.programPath.substr(0, sep);
  paths.systemFolder = platform::SystemFolder();
  paths.windowsFolder = platform::WindowsFolder();
  const size_t first = paths.systemFolder.find(platform::PathSeparator());
  paths.systemDrive = first == std::string::npos ? paths.systemFolder : paths.systemFolder.substr(0, first);
  paths.dataFolder = platform::ProgramDataFolder();
  return paths;
}

namespace {

struct ModeTexts {
  const char* started;
  const char* finished;
  const char* canceled;
};

ModeTexts TextsOf(int32_t mode, bool checkOnly = false) {
  if (checkOnly) return {"message_check_started", "message_check_finished", "message_check_canceled"};
  switch (mode) {
    case Encryption:
      return {"message_encryption_started", "message_encryption_finished", "message_encryption_canceled"};
    case Decryption:
      return {"message_decryption_started", "message_decryption_finished", "message_decryption_canceled"};
    default:
      return {"message_cryption_started", "message_cryption_finished", "message_cryption_canceled"};
  }
}

}  // namespace

CWorkerThread::CWorkerThread() = default;

CWorkerThread::~CWorkerThread() {
  RequestQuit();
  thread_.Join();
}

bool CWorkerThread::Start(IJobOwner* owner, const WorkerPaths& paths) {
  if (thread_.Joinable()) return false;
  owner_ = owner;
  paths_ = paths;
  // The events are created non-signalled; they are not reset here, so that a
  // job requested before the thread first runs is not lost.
  return thread_.Start([this] { RunWorker(); });
}

void CWorkerThread::AddTarget(const std::string& path) {
  bool queued;
  {
    std::lock_guard<std::mutex> lock(targetsMutex_);
    targets_.push_back(path);
    queued = jobTookTargets_;
  }
  if (!owner_) return;
  owner_->LogLine("Drag : " + path, Message);
  if (queued) owner_->LogLine(LookupText("message_target_queued"), Message);
}

std::vector<std::string> CWorkerThread::PendingTargets() const {
  std::lock_guard<std::mutex> lock(targetsMutex_);
  return targets_;
}

void CWorkerThread::NoteRefusedTarget() {
  std::lock_guard<std::mutex> lock(targetsMutex_);
  targetRefused_ = true;
}

std::string CWorkerThread::FileInProgress() const {
  std::lock_guard<std::mutex> lock(targetsMutex_);
  return fileInProgressPath_;
}

bool CWorkerThread::StartJob(const JobRequest& request) {
  if (progress.jobRunning) {
    RequestStop();
    return false;
  }
  progress.errorSeen = false;
  progress.refused = false;
  progress.notDone = false;
  progress.baseBytes = 0;
  progress.totalBytes = 0;
  progress.doneBytes = 0;
  codec_.ResetCounters();
  password_ = request.password;
  zero_ = request.zero;
  rand_ = request.rand;
  accountForTargets_ = request.accountForTargets;
  verify_ = request.verify && !request.checkOnly;
  checkOnly_ = request.checkOnly;
  codec_.verify = verify_ ? 1 : 0;
  codec_.zeroPass = request.zero ? 1 : 0;
  codec_.randomPass = request.rand ? 1 : 0;
  codec_.writeReadOnly = request.writeReadOnly ? 1 : 0;
  {
    std::lock_guard<std::mutex> lock(targetsMutex_);
    // The program's folder stands in only when nothing at all was named.
    if (targets_.empty() && !targetRefused_ && !paths_.programFolder.empty()) {
      targets_.push_back(paths_.programFolder);
    }
  }
  progress.baseBytes = 0;
  progress.totalBytes = 0;
  progress.doneBytes = 0;
  progress.jobRunning = true;
  SignalStart(request.mode);
  return true;
}

void CWorkerThread::SignalStart(int32_t mode) {
  stopRequested_ = false;
  codec_.stopFlag = 0;
  mode_ = mode;
  // A stop that came after the last job had ended means nothing to this one.
  StopEvent.Reset();
  StartEvent.Set();
}

void CWorkerThread::RequestStop() {
  stopRequested_ = true;
  codec_.stopFlag = 1;
  StopEvent.Set();
}

void CWorkerThread::RequestQuit() {
  stopRequested_ = true;
  codec_.stopFlag = 1;
  QuitEvent.Set();
}

uint64_t CWorkerThread::ProgressSum() const {
  // The codec's count is the file in progress; at the end of a file its bytes
  // move to doneBytes and the count goes back to 0. A sum read while they
  // move would count them twice or not at all, so it is read again.
  for (;;) {
    const uint32_t before = moving_.load();
    if ((before & 1) == 0) {
      const uint64_t sum = progress.doneBytes.load() + codec_.GetCounters();
      std::atomic_thread_fence(std::memory_order_acquire);
      if (moving_.load() == before) return sum;
    }
    std::this_thread::yield();
  }
}

void CWorkerThread::SetFileInProgress(const std::string& path) {
  std::lock_guard<std::mutex> lock(targetsMutex_);
  fileInProgressPath_ = path;
}

void CWorkerThread::FileDone(bool countThem) {
  SetFileInProgress(std::string());
  moving_.fetch_add(1);
  if (countThem) progress.doneBytes += codec_.GetCounters();
  codec_.ResetCounters();
  moving_.fetch_add(1);
  if (countThem && codec_.LastOutcome() == CFileCodec::Outcome::Failed) progress.notDone = true;
}

bool CWorkerThread::WaitForEnd(int timeoutMs) {
  if (!thread_.Joinable()) return true;
  if (platform::WaitAny(finished_, finished_, timeoutMs) != 0) return false;
  thread_.Join();
  return true;
}

void CWorkerThread::LogMessage(const std::string& text) {
  if (owner_) owner_->LogLine(text, Message);
}

void CWorkerThread::LogError(const std::string& text) {
  progress.errorSeen = true;
  if (owner_) owner_->LogLine(text, Error);
}

void CWorkerThread::LogLine(const std::string& line, LogKind kind) {
  if (kind == Error) progress.errorSeen = true;
  if (owner_) owner_->LogLine(line, kind);
}

void CWorkerThread::RunWorker() {
  codec_.SetLogSink(this);
  // Each wipe's digit name rides on the next output's folder sync.
  codec_.SetDeferWipes(true);
  // An output name taken meanwhile (another program, another Tavro) gets a fresh one.
  codec_.SetOutputNamer([](const std::string& folder) { return MakeOutputName(folder); });
  progress.baseBytes = 0;
  progress.doneBytes = 0;
  progress.totalBytes = 0;
  for (;;) {
    if (platform::WaitAny(QuitEvent, StartEvent, -1) != 1) break;  // quit, or the wait failed
    const ModeTexts texts = TextsOf(mode_, checkOnly_);
    LogMessage(LookupText(texts.started));
    LogMessage(LookupText("message_problem_analysis"));
    RunJob();
    LogMessage(LookupText(texts.finished));
    StartEvent.Reset();
    StopEvent.Reset();
    const bool stopped = stopRequested_ || codec_.stopFlag != 0;
    codec_.stopFlag = 0;
    stopRequested_ = false;
    if (owner_) owner_->JobFinished(!stopped);
    progress.baseBytes = 0;
    progress.doneBytes = 0;
    progress.totalBytes = 0;
  }
  finished_.Set();
}

void CWorkerThread::RunJob() {
  // A check takes what deciphering would take.
  const int32_t mode = checkOnly_ ? Decryption : (mode_ == Encryption || mode_ == Decryption) ? mode_ : Cryption;
  std::vector<std::string> targets;
  {
    std::lock_guard<std::mutex> lock(targetsMutex_);
    targets.swap(targets_);
    jobTookTargets_ = true;
    targetRefused_ = false;
  }
  std::vector<std::string> workList;
  std::vector<platform::FileIdentity> listed;  // beside workList: each file's identity as the walk saw it
  codec_.SetKey(password_.c_str());
  // A check changes nothing: no wipe journal, no wipes finished.
  if (!checkOnly_) StartJournal();
  ExpansionContext context;
  context.paths = &paths_;
  context.zero = zero_;
  context.rand = rand_;
  context.verify = verify_;
  context.totalBytes = &progress.totalBytes;
  context.logMessage = [this](const std::string& line) { LogMessage(line); };
  context.logError = [this](const std::string& line) { LogError(line); };
  // A walk of a large tree looks for a stop or quit once per folder: at the
  // flag that RequestStop and RequestQuit set with their events, which costs
  // nothing, unlike a wait on the events for every folder.
  context.stopRequested = [this] { return stopRequested_.load(); };
  context.accountForTargets = accountForTargets_;
  context.admit = [this, &listed](const std::string& path, const platform::FileIdentity& identity) {
    // A file the journal names is being wiped (by this program now or by
    // another run), or waits for it: never a new target.
    if (journal_.IsOpen() && journal_.Names(path, identity)) return false;
    listed.push_back(identity);
    return true;
  };
  ExpandResult expansion = ExpandResult::Done;
  if (targets.empty()) {
    // Every target the user named was refused (the lines above say why).
    LogMessage(LookupText("message_no_target"));
  } else {
    expansion = ExpandTargets(targets, workList, mode, context);
    if (context.targetNotDone) progress.notDone = true;
  }
  if (expansion == ExpandResult::Refused) {
    progress.refused = true;
  } else if (expansion == ExpandResult::Stopped) {
    LogMessage(LookupText(TextsOf(mode, checkOnly_).canceled));
  } else {
    while (!workList.empty()) {
      if (StopOrQuitSignalled()) {
        LogMessage(LookupText(TextsOf(mode, checkOnly_).canceled));
        break;
      }
      const std::string& path = workList.back();
      if (checkOnly_) {
        CheckOne(path, listed.back());
      } else if (mode == Encryption || (mode == Cryption && !EndsWithCipherExtension(path))) {
        EncryptOne(path, listed.back());
      } else {
        DecryptOne(path, listed.back());
      }
      workList.pop_back();
      listed.pop_back();
    }
  }
  // The job's last wipe has no next file to wait for: it ends now, stopped or not.
  if (codec_.FinishPendingWipe()) FileDone();
  // Drops the finished entries when no other run is about.
  journal_.Close();
  // This job's targets are done with, whatever happened; targets added
  // meanwhile stay for the next job.
  std::lock_guard<std::mutex> lock(targetsMutex_);
  jobTookTargets_ = false;
}

void CWorkerThread::StartJournal() {
  codec_.SetWipeJournal(&journal_);
  if (!journal_.Open(paths_.dataFolder)) return;  // each wipe then says that it cannot be recorded
  codec_.RecoverWipes(journal_);
  journal_.Share();
  FileDone(false);  // those bytes are no part of this job's plan
}

void CWorkerThread::EncryptOne(const std::string& path, const platform::FileIdentity& identity) {
  const size_t sep = platform::FindLastSeparator(path);
  if (sep == std::string::npos) {
    // Only full paths reach the job; a bare name has no folder for its output.
    progress.notDone = true;
    LogError(LookupText("error") + " : " + LookupText("message_file_open_failed") + " : " + path);
    return;
  }
  if (owner_) owner_->SetStatusText(path.substr(sep + 1));
  const std::string folder = path.substr(0, sep);
  SetFileInProgress(path);
  codec_.EncryptFile(path, MakeOutputName(folder), identity);
  FileDone();
}

bool CWorkerThread::StopOrQuitSignalled() {
  return platform::WaitAny(QuitEvent, StopEvent, 0) != platform::kWaitTimeout;
}

void CWorkerThread::DecryptOne(const std::string& path, const platform::FileIdentity& identity) {
  ShowFileInProgress(path);
  codec_.DecryptFile(path, identity);
  FileDone();
}

void CWorkerThread::CheckOne(const std::string& path, const platform::FileIdentity& identity) {
  ShowFileInProgress(path);
  codec_.CheckFile(path, identity);
  FileDone();
}

void CWorkerThread::ShowFileInProgress(const std::string& path) {
  const size_t sep = platform::FindLastSeparator(path);
  if (owner_) owner_->SetStatusText(sep == std::string::npos ? path : path.substr(sep + 1));
  SetFileInProgress(path);
}

namespace {

uint32_t SystemSeed() {
  uint32_t seed = 0;
  if (!platform::SystemRandomBytes(&seed, sizeof seed)) {
    // No random source: the time and this thread's own address differ at least between threads and runs.
    seed = static_cast<uint32_t>(platform::NowSeconds()) ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&seed));
  }
  return seed;
}

}  // namespace

std::string CWorkerThread::MakeOutputName(const std::string& folder) {
  // Never seeded again: the time seeding of the codec's own draws cannot reach it.
  thread_local CRandom names(SystemSeed());
  for (;;) {
    char name[14];
    for (int i = 0; i < 13; ++i) {
      const int kind = names.Next() % 3;
      if (kind == 0) {
        name[i] = static_cast<char>('A' + names.Next() % 26);
      } else if (kind == 1) {
        name[i] = static_cast<char>('a' + names.Next() % 26);
      } else {
        name[i] = static_cast<char>('0' + names.Next() % 10);
      }
    }
    name[13] = '\0';
    std::string candidate = folder + platform::PathSeparator() + name + kCipherExtension;
    if (!platform::LookupPath(candidate, nullptr)) return candidate;
  }
}
