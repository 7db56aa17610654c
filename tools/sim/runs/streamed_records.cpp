#include "runs/streamed_records.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "system/paths.h"
#include "system/processes.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;

std::runtime_error CannotWrite(const std::string& path) {
  return std::runtime_error("cannot write " + path);
}

// The list written at path to out; a list that cannot be read back leaves out failed, so that
// the JSON is not put in place with part of it missing.
void CopyList(const std::string& path, std::ostream& out) {
  std::ifstream in(system::PathOf(path), std::ios::binary);
  if (!in) out.setstate(std::ios::badbit);
  // An empty list copies nothing (and a stream given no characters would count as failed).
  if (in && in.peek() != std::ifstream::traits_type::eof()) out << in.rdbuf();
}

}  // namespace

StreamedRecords::StreamedRecords(bool active) {
  if (!active) return;
  // Not in memory-backed storage: the point is to keep a long run's lists out of memory.
  scratch_ = system::MakeScratchFolder("zt-sim-json-", false);
  for (auto [list, name] :
       {std::pair{&events_, "events.json"}, std::pair{&cycles_, "cycles.json"}}) {
    list->path = system::Utf8Of(system::PathOf(scratch_) / name);
    list->file.open(system::PathOf(list->path), std::ios::binary | std::ios::trunc);
    if (!list->file) {
      std::error_code ignored;
      fs::remove_all(system::PathOf(scratch_), ignored);
      throw CannotWrite(list->path);
    }
  }
  lists_.events = [path = events_.path](std::ostream& out) { CopyList(path, out); };
  lists_.cycles = [path = cycles_.path](std::ostream& out) { CopyList(path, out); };
}

StreamedRecords::~StreamedRecords() {
  if (scratch_.empty()) return;
  events_.file.close();
  cycles_.file.close();
  std::error_code ignored;
  fs::remove_all(system::PathOf(scratch_), ignored);
}

void StreamedRecords::Append(List& list, const std::string& element) {
  if (list.started) list.file << ',';
  list.file << element;
  list.started = true;
}

void StreamedRecords::Add(const HostEvent& event) {
  if (events_.file.is_open()) Append(events_, EventJsonText(event));
}

void StreamedRecords::Add(const CycleRecord& cycle) {
  if (cycles_.file.is_open()) Append(cycles_, CycleJsonText(cycle));
}

void StreamedRecords::Finish() {
  for (List* list : {&events_, &cycles_}) {
    if (!list->file.is_open()) continue;
    list->file.close();
    if (!list->file) throw CannotWrite(list->path);
  }
}

RunSinks SinksTo(StreamedLog& log, StreamedRecords& records) {
  return {[&log, &records](const HostEvent& event) {
            log.Add(event);
            records.Add(event);
          },
          [&records](const CycleRecord& cycle) { records.Add(cycle); }};
}

}  // namespace zt::sim
