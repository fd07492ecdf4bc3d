// Keeping the signals that end a process from ending it in the middle of a write.
#pragma once

#include <signal.h>

namespace kyto {

// While it lives, SIGHUP, SIGINT, SIGQUIT, SIGTERM and SIGXFSZ are blocked for the calling
// thread; what arrives meanwhile waits. When it goes, a SIGXFSZ that the writes themselves raised
// (a file-size limit, reported to the writer as EFBIG) is taken off, so that the failure takes its
// ordinary path, and the mask is restored: a termination signal that came meanwhile is delivered
// then, once the files are whole again. The process's signal dispositions are never changed.
class DeferredSignals {
 public:
  DeferredSignals();
  ~DeferredSignals();
  DeferredSignals(const DeferredSignals&) = delete;
  DeferredSignals& operator=(const DeferredSignals&) = delete;

 private:
  sigset_t saved_;
  bool fileSizePending_ = false;  // a SIGXFSZ was pending before
  bool blocked_ = false;
};

}  // namespace kyto
