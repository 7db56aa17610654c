// The event log of a run, written as the events come rather than kept for the end: a long run on a
// tight ladder closes every few ticks, and a log held in memory would grow with it.
#pragma once

#include <fstream>
#include <ostream>
#include <string>

#include "host/host_driver.h"
#include "options/sim_options.h"

namespace zt::sim {

class StreamedLog {
 public:
  // A log for the --log file at target (empty: none), printed too when printed: written beside
  // target and put in its place by Commit, or into a scratch file of its own when only printed.
  // Throws std::runtime_error "cannot write PATH" when the file cannot be made.
  StreamedLog(const std::string& target, bool printed);
  ~StreamedLog();
  StreamedLog(const StreamedLog&) = delete;
  StreamedLog& operator=(const StreamedLog&) = delete;

  // Whether it writes anything: a --log file or a log printed whole.
  bool Active() const { return !path_.empty(); }
  bool Printed() const { return printed_; }
  // One more event, as the log shows it.
  void Add(const HostEvent& event);
  // Ends the writing, and puts the --log file in its place. Throws "cannot write PATH".
  void Commit();
  // The whole log, as written, to out.
  void CopyTo(std::ostream& out) const;

 private:
  void Finish();

  std::string target_;   // the --log file, empty when only printed
  std::string path_;     // where it is written now
  std::string scratch_;  // the scratch folder of a log that is only printed
  bool printed_ = false;
  bool committed_ = false;
  std::ofstream file_;
};

// Events and cycles a long run's chart and JSON show: the latest ones.
constexpr std::size_t kRecordsKept = 10000;

// What a run hands on as it goes: every event once complete and every cycle once closed, in order
// (a log, a whole JSON's lists).
struct RunSinks {
  std::function<void(const HostEvent&)> events;
  std::function<void(const CycleRecord&)> cycles;
};

// The host's options for a run of options, continuing carry. A log streamed through sinks keeps
// no events in memory; the log's tail keeps what it prints; the chart and the JSON keep the latest
// kRecordsKept events and cycles and the levels thinned, so that a long run's memory stays flat (a
// whole JSON lists every one from its own sinks). A log that is not streamed keeps every event, as
// its lines are written at the end.
HostOptions HostOptionsFor(const SimOptions& options, const HostCarry& carry,
                           const RunSinks& sinks);

}  // namespace zt::sim
