// What the worker needs from whoever owns it: the Windows main window turns
// these calls into its window messages, the Linux front end prints them.
// LogLine (from ILogSink) carries the codec's lines, delivered synchronously.
#pragma once

#include <string>

#include "codec/log_sink.h"

class IJobOwner : public ILogSink {
 public:
  // The name of the file in progress, for the status label.
  virtual void SetStatusText(const std::string& text) = 0;
  // The end of a job: completed is false when the job was stopped. The worker
  // does not wait for this to be handled (the window posts it to itself).
  virtual void JobFinished(bool completed) = 0;
};
