// A long run's events and cycles for its whole JSON, written as they come rather than kept for the
// end: a tight ladder closes every few ticks, and a million ticks' lists outgrow memory many times
// over, while a program reading the JSON wants every one of them.
#pragma once

#include <fstream>
#include <string>

#include "host/host_driver.h"
#include "report/run_json.h"
#include "runs/streamed_log.h"

namespace zt::sim {

class StreamedRecords {
 public:
  // Lists in a scratch folder of their own when active (a whole JSON is written), else none.
  // Throws std::runtime_error when the folder or its files cannot be made.
  explicit StreamedRecords(bool active);
  ~StreamedRecords();
  StreamedRecords(const StreamedRecords&) = delete;
  StreamedRecords& operator=(const StreamedRecords&) = delete;

  // One more event, once complete, and one more cycle, once closed, as the JSON lists them.
  void Add(const HostEvent& event);
  void Add(const CycleRecord& cycle);
  // Ends the writing. Throws "cannot write PATH" when the disk did not take it all.
  void Finish();
  // The lists as written, for WriteJson; nullptr when not active.
  const RecordLists* Lists() const { return scratch_.empty() ? nullptr : &lists_; }

 private:
  // One list's file and whether it holds an element yet.
  struct List {
    std::string path;
    std::ofstream file;
    bool started = false;
  };
  static void Append(List& list, const std::string& element);

  std::string scratch_;
  List events_, cycles_;
  RecordLists lists_;
};

// Sinks for a run that hand every event to log and records, and every cycle to records.
RunSinks SinksTo(StreamedLog& log, StreamedRecords& records);

}  // namespace zt::sim
