// What a run ran on, in words: the titles of a run and of ladders side by side name its market,
// a recorded history by its file, a seeded market by its seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/ladder.h"

namespace zt::sim {

struct SimOptions;
struct PriceHistoryOptions;
struct BarSizes;

// MeasureBars of history (market/price_history.h), measured once while the file stays as it was
// (its size and time): a bar history's ticks are counted by walking every bar, which takes as
// long as the run's own walk, and a run's count, its modelling and its caution all want them.
// Throws as MeasureBars does.
const BarSizes& MeasuredBars(const PriceHistoryOptions& history);

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

// How the run's prices were made, for the text, the JSON and the report: "price model ticks",
// "recorded ticks", "bars walked with 60 ticks a bar" (with "on average" where the bars' tick
// volumes say how many) or "bars in the worst order ..."; empty where no prices move the account
// (the account model's walk, an equity history).
std::string NameModelling(const SimOptions& options);

// For bars, one line of caution where a typical bar's range moves the trades more than the
// smallest target of the ladders (the options' own ladder when ladders is empty): such a target
// is hit or missed inside a bar, which bars alone cannot tell. Empty otherwise. The trades are the
// strategy's first (its lots option) or the deal list's typical one (its median lots).
std::string CautionOfBars(const SimOptions& options, const std::vector<NamedLadder>& ladders);

}  // namespace zt::sim
