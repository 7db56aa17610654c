// What a run ran on, in words: the titles of a run and of ladders side by side name its market,
// a recorded history by its file, a seeded market by its seed.
#pragma once

#include <cstdint>
#include <string>

namespace zt::sim {

struct SimOptions;

// The file name of a path, without its folders.
std::string FileName(const std::string& path);

// "price history FILE" with "and deals FILE", for titles; empty when the prices are the model's.
std::string DescribeHistories(const SimOptions& options);

// What a run of ticks was made on, with its article, for the titles of a run and the headings of
// --ladder: "a seeded grid strategy on a price model (seed 1, 20000 ticks)", "a grid strategy on
// the bar history EURUSD_H1.csv (24963 ticks)", "the deal list EURUSD_deals.csv over the bar
// history EURUSD_H1.csv (24963 ticks)" or "the equity history history.csv (120 rows)". A recorded
// history is named by its file, not a seed: a seed changes nothing of what it holds.
std::string NameRunInput(const SimOptions& options, std::int64_t ticks, bool resumed);

}  // namespace zt::sim
