#include "runs/streamed_log.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "report/run_text.h"
#include "system/output_files.h"
#include "system/paths.h"
#include "system/processes.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;

std::runtime_error CannotWrite(const std::string& path, const std::string& why) {
  return std::runtime_error("cannot write " + path + (why.empty() ? "" : ": " + why));
}

}  // namespace

StreamedLog::StreamedLog(const std::string& target, bool printed)
    : target_(target), printed_(printed) {
  if (!target_.empty()) {
    path_ = target_ + ".part";
    if (const fs::path parent = system::PathOf(target_).parent_path(); !parent.empty()) {
      std::error_code ignored;
      fs::create_directories(parent, ignored);
    }
  } else if (printed_) {
    // Not in memory-backed storage: the point is to keep a long log out of memory.
    scratch_ = system::MakeScratchFolder("zt-sim-log-", false);
    path_ = system::Utf8Of(system::PathOf(scratch_) / "log.txt");
  } else {
    return;
  }
  file_.open(system::PathOf(path_), std::ios::binary | std::ios::trunc);
  if (!file_) throw CannotWrite(target_.empty() ? path_ : target_, "");
  // The same heading as the log a run prints from what it kept.
  file_ << FormatLog(HostRun{}, 0);
}

StreamedLog::~StreamedLog() {
  std::error_code ignored;
  if (file_.is_open()) file_.close();
  if (!scratch_.empty()) fs::remove_all(system::PathOf(scratch_), ignored);
  if (!target_.empty() && !committed_) fs::remove(system::PathOf(path_), ignored);
}

void StreamedLog::Add(const HostEvent& event) {
  if (file_.is_open()) file_ << FormatEvent(event) << '\n';
}

void StreamedLog::Finish() {
  if (!file_.is_open()) return;
  file_.flush();
  const bool written = static_cast<bool>(file_);
  file_.close();
  if (!written || file_.fail()) throw CannotWrite(target_.empty() ? path_ : target_, "");
}

void StreamedLog::Commit() {
  Finish();
  if (target_.empty() || committed_) return;
  // Over the old log in one step where the system can (MoveFileExW on Windows).
  if (std::string why = system::MoveOver(path_, target_); !why.empty())
    throw CannotWrite(target_, why);
  committed_ = true;
  path_ = target_;
}

void StreamedLog::CopyTo(std::ostream& out) const {
  std::ifstream in(system::PathOf(path_), std::ios::binary);
  if (in.peek() != std::ifstream::traits_type::eof()) out << in.rdbuf();
}

HostOptions HostOptionsFor(const SimOptions& options, const HostCarry& carry,
                           const RunSinks& sinks) {
  const bool sink = static_cast<bool>(sinks.events);
  HostOptions host = options.host;
  const bool charted = !options.chartPath.empty() || !options.reportPath.empty();
  const bool listed = !options.jsonPath.empty() && !options.jsonBrief;
  const bool wholeLog = !options.logPath.empty() || (!options.quiet && options.tail == 0);
  const std::size_t shown = charted || listed ? kRecordsKept : 0;
  host.eventsKept =
      wholeLog && !sink ? kKeepAll : std::max(shown, options.quiet ? 0 : options.tail);
  host.cyclesKept = wholeLog && !sink ? kKeepAll : shown;
  host.keepLevels = charted || (wholeLog && !sink);
  host.eventSink = sinks.events;
  host.cycleSink = sinks.cycles;
  host.carry = carry;
  return host;
}

}  // namespace zt::sim
