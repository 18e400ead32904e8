// Where run-log lines go. The codec and the job engine report every outcome as
// one line of a kind; the owner (the Windows main window, or the Linux front
// end) receives it synchronously, on the reporting thread, and must have
// copied or consumed the text before returning.
#pragma once

#include <string>

enum LogKind : int { Message = 0, Error = 1 };

class ILogSink {
 public:
  virtual ~ILogSink() = default;
  virtual void LogLine(const std::string& line, LogKind kind) = 0;
};
