#include "runs/stop_signal.h"

namespace zt::sim {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }

}  // namespace

StopOnSignal::StopOnSignal() {
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = RequestStop;
  // Calls the signal lands in carry on (as signal() sets them up): the request is only read
  // between ticks and between polls of the running ladders.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInterrupt_);
  sigaction(SIGTERM, &action, &previousTerminate_);
}

StopOnSignal::~StopOnSignal() {
  sigaction(SIGINT, &previousInterrupt_, nullptr);
  sigaction(SIGTERM, &previousTerminate_, nullptr);
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace zt::sim
