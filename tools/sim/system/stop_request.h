// Ctrl-C, and a polite kill (SIGTERM; on Windows the console's close and break events, or the stop
// a parent run passes on), as a request to stop: a run stops after the tick in hand and saves
// where it stood, so the state folder can be continued; ladders side by side start no further run
// and pass the request on to the running ones. Nothing is cut off half-way.
#pragma once

namespace zt::sim::system {

// Routes the stop requests to StopRequested() for its lifetime (clearing any earlier request),
// then gives them back to whoever had them before.
class StopOnRequest {
 public:
  StopOnRequest();
  ~StopOnRequest();
  StopOnRequest(const StopOnRequest&) = delete;
  StopOnRequest& operator=(const StopOnRequest&) = delete;
};

// Whether a stop was asked for since the last StopOnRequest began.
bool StopRequested();

}  // namespace zt::sim::system
