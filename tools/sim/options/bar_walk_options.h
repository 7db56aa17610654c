// The options that say how a bar of a --history becomes ticks.
#pragma once

#include <string>

#include "market/price_history.h"
#include "options/option_table.h"

namespace zt::sim {

void AddBarWalkOptions(OptionTable& t, const std::string& group, PriceHistoryOptions& h);

}  // namespace zt::sim
