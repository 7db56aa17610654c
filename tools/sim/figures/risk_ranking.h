// The orders --runs sets ladders out in: by one figure over all the runs (risk_figures.h), best
// first. The option's own check takes its keys from here, and the table its heading.
#pragma once

#include <string>
#include <vector>

#include "figures/risk_figures.h"

namespace zt::sim {

// The columns --rank-by takes: end, end-5th, worst-end, drawdown, worst-drawdown, stopouts,
// return-over-drawdown, under-water, costs.
const std::vector<std::string>& ListRankKeys();
// The ladders in the order key puts them, best first (ties keep their order); a figure a ladder
// does not have puts it last.
std::vector<LadderRisk> RankLadders(std::vector<LadderRisk> ladders, const std::string& key);
// What a heading calls key's order ("the median end result"); throws std::invalid_argument for a
// key that is none.
std::string NameRanking(const std::string& key);

}  // namespace zt::sim
