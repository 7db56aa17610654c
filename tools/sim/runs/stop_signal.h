// Ctrl-C, and a polite kill, as a request to stop: a run stops after the tick in hand and saves
// where it stood, so the state folder can be continued; ladders side by side start no further run
// and pass the request on to the running ones. Nothing is cut off half-way.
#pragma once

#include <csignal>

namespace zt::sim {

// Routes SIGINT and SIGTERM to the stop request for its lifetime (clearing any earlier request),
// then gives them back to whoever had them before.
class StopOnSignal {
 public:
  StopOnSignal();
  ~StopOnSignal();
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
};

// Whether a stop was asked for since the last StopOnSignal began.
bool StopRequested();

}  // namespace zt::sim
