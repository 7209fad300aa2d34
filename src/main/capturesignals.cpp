// SIGINT and SIGTERM while capturing: taken by a thread of its own, where
// the frame queue may be locked and stdio used, and handed to the queue's
// end of the run.
#include "main/capturesignals.h"

#include <csignal>
#include <thread>

#include <pthread.h>

#include "main/capture.h"

static void waitForSignal(sigset_t signals) {
  int sig = 0;
  while (sigwait(&signals, &sig) != 0) {
  }
  endCaptureRun(CaptureEnd::kSignal, sig);
}

void stopCaptureOnSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked here, before GL starts its threads, so every thread inherits
  // the mask and only waitForSignal takes these signals.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(waitForSignal, signals).detach();
}
