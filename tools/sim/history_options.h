// What the options that put recorded histories in place of the lab's models do beyond filling
// SimOptions: --write-bars writes the price model's prices as a bar history instead of a run, and
// a run's title names the histories it ran on. The options themselves are read and checked with
// the others in sim_options.cpp.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace zt::sim {

struct SimOptions;

// --write-bars: the price model's bars into the file, no guard run. Returns the exit code.
int WriteBars(const SimOptions& options, std::ostream& out, std::ostream& err);

// "price history FILE" with "and deals FILE", for titles; empty when the prices are the model's.
std::string HistoryDescription(const SimOptions& options);

// What a run of ticks was made on, with its article, for the titles of a run and the headings of
// --ladder: "a seeded grid strategy on a price model (seed 1, 20000 ticks)", "a grid strategy on
// the bar history EURUSD_H1.csv (24963 ticks)", "the deal list EURUSD_deals.csv over the bar
// history EURUSD_H1.csv (24963 ticks)" or "the equity history history.csv (120 rows)". A recorded
// history is named by its file, not a seed: a seed changes nothing of what it holds.
std::string RunInputName(const SimOptions& options, std::int64_t ticks, bool resumed);

}  // namespace zt::sim
