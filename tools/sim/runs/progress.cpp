#include "runs/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "number_text.h"
#include "system/console.h"

namespace zt::sim {
namespace {

constexpr double kProgressDelaySeconds = 0.3;  // quicker runs never show a bar
constexpr int kDefaultColumns = 80;
constexpr int kSmallestBar = 10;        // narrower, the bar is left out
constexpr int kLadderLineColumns = 60;  // wider than any "N of M ladders done" line

// Columns of the terminal on standard error; 80 when it does not say.
int TerminalColumns() {
  const int columns = system::TerminalColumns();
  return columns > 0 ? columns : kDefaultColumns;
}

// "850 k", "2.1 M": a count in three significant figures.
std::string Count(double count) {
  if (count >= 1e6) return tools::Significant(count / 1e6, 3) + " M";
  if (count >= 1e3) return tools::Significant(count / 1e3, 3) + " k";
  return tools::Fixed(count, 0);
}

}  // namespace

std::string FormatProgress(std::int64_t done, std::int64_t total, double seconds, int columns) {
  const double fraction =
      total > 0 ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0)
                : 0.0;
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  const auto left =
      static_cast<long long>(rate > 0.0 ? static_cast<double>(total - done) / rate + 0.5 : 0.0);
  char leftText[32];
  std::snprintf(leftText, sizeof leftText, "%lld:%02lld left", left / 60, left % 60);
  const std::string percent = std::to_string(static_cast<int>(fraction * 100)) + "%";
  std::string text = percent + "  " + Count(static_cast<double>(done)) + " / " +
                     Count(static_cast<double>(total)) + " ticks  " + Count(rate) + "/s  " +
                     leftText;
  const int width = columns - 1;  // the last column would wrap the cursor in some terminals
  if (static_cast<int>(text.size()) > width) text = percent + " " + leftText;
  const int bar = width - static_cast<int>(text.size()) - 3;
  if (bar >= kSmallestBar) {
    const auto filled = static_cast<std::size_t>(fraction * bar);
    // Built by appending: GCC 12 at -O3 misreads `"[" + std::string(...)` as an overlapping memcpy.
    std::string drawn(1, '[');
    drawn.append(filled, '#');
    drawn.append(static_cast<std::size_t>(bar) - filled, '.');
    drawn += "] ";
    drawn += text;
    text = std::move(drawn);
  }
  if (static_cast<int>(text.size()) > width)
    text.resize(static_cast<std::size_t>(std::max(width, 0)));
  return text;
}

StatusLine::~StatusLine() {
  if (!drawn_) return;
  const int columns = wipeColumns_ == kWholeTerminal ? TerminalColumns() - 1 : wipeColumns_;
  std::fprintf(stderr, "\r%*s\r", columns, "");
}

void StatusLine::Draw(const std::string& text) {
  std::fprintf(stderr, "\r%s", text.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

ProgressBar::ProgressBar(bool wanted, std::int64_t total)
    : line_(wanted && total > 0 && system::ErrorsToTerminal(), StatusLine::kWholeTerminal),
      total_(total),
      start_(std::chrono::steady_clock::now()) {}

void ProgressBar::Update(std::int64_t done) {
  if (!line_.shown()) return;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  if (elapsed.count() < kProgressDelaySeconds) return;
  line_.Draw(FormatProgress(done, total_, elapsed.count(), TerminalColumns()));
}

LadderProgress::LadderProgress(bool wanted, std::size_t total, const char* noun)
    : line_(wanted && system::ErrorsToTerminal(), kLadderLineColumns), total_(total), noun_(noun) {}

void LadderProgress::Update(std::size_t done, std::size_t running) {
  if (!line_.shown()) return;
  std::string text = std::to_string(done);
  text += " of ";
  text += std::to_string(total_);
  text += ' ';
  text += noun_;
  text += " done, ";
  text += std::to_string(running);
  text += " running   ";
  line_.Draw(text);
}

}  // namespace zt::sim
