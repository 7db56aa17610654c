// How far a long run has come, on standard error. Drawn only when standard error is a terminal
// and the run lasts long enough to want it, redrawn in place, and wiped when the run ends, so that
// the report on standard output and a log of standard error stay free of it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zt::sim {

// The progress line for done of total ticks after seconds: a bar, the percentage, the counts, the
// rate and the time left, cut to fit columns - 1 characters (the bar goes first, then the counts).
std::string FormatProgress(std::int64_t done, std::int64_t total, double seconds, int columns);

// A line on standard error, drawn only when shown, redrawn in place and wiped when it goes:
// wipeColumns spaces, or with kWholeTerminal the terminal's width less one.
class StatusLine {
 public:
  static constexpr int kWholeTerminal = 0;
  StatusLine(bool shown, int wipeColumns) : shown_(shown), wipeColumns_(wipeColumns) {}
  ~StatusLine();
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool shown() const { return shown_; }
  void Draw(const std::string& text);

 private:
  bool shown_;
  bool drawn_ = false;
  int wipeColumns_;
};

// The ticks of one run: a line redrawn to the terminal's width each time (a line that wraps could
// not be overwritten), from a third of a second on.
class ProgressBar {
 public:
  ProgressBar(bool wanted, std::int64_t total);
  void Update(std::int64_t done);

 private:
  StatusLine line_;
  std::int64_t total_;
  std::chrono::steady_clock::time_point start_;
};

// "3 of 8 ladders done, 2 running": the runs of ladders side by side (noun: what is counted).
class LadderProgress {
 public:
  LadderProgress(bool wanted, std::size_t total, const char* noun = "ladders");
  void Update(std::size_t done, std::size_t running);

 private:
  StatusLine line_;
  std::size_t total_;
  const char* noun_;
};

}  // namespace zt::sim
