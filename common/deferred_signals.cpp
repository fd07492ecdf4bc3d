#include "common/deferred_signals.h"

#include <pthread.h>
#include <time.h>

#include <initializer_list>

namespace kyto {

namespace {

sigset_t deferredSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ}) sigaddset(&set, signal);
  return set;
}

bool isPending(int signal) {
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, signal) == 1;
}

}  // namespace

DeferredSignals::DeferredSignals() {
  const sigset_t set = deferredSet();
  fileSizePending_ = isPending(SIGXFSZ);
  blocked_ = pthread_sigmask(SIG_BLOCK, &set, &saved_) == 0;
}

DeferredSignals::~DeferredSignals() {
  if (!blocked_) return;
  if (!fileSizePending_ && isPending(SIGXFSZ)) {
    sigset_t fileSize;
    sigemptyset(&fileSize);
    sigaddset(&fileSize, SIGXFSZ);
    const timespec now{};
    sigtimedwait(&fileSize, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace kyto
