// A strategy's settings as a trader would say them, with their units: "martingale grid: 0.1 lot
// at the first level, doubled every 100 points against the newest, up to 10 levels a direction
// (the 10th 51.2 lots, 102.3 lots in all)". The record's option texts are what the run took.
#pragma once

#include <string>

#include "options/run_record.h"

namespace zt::sim {

// The strategy named (as --strategy names it) in words, from the record's values; empty for a
// strategy it does not know.
std::string SayStrategy(const RunRecord& record, const std::string& strategy);

// An option's value with its unit ("100 points", "0.1 lots", "1:100"), as the record holds it.
std::string WithUnit(const std::string& name, const std::string& text);

}  // namespace zt::sim
