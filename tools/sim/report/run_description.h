// What a run was told, as the report page's first section says it: the input, every setting, the
// ladders as the library reads them, and what the figures of such an input cannot say.
#pragma once

#include <string>
#include <vector>

#include "host/ladder.h"
#include "report/run_pages.h"

namespace zt::sim {

struct SimOptions;

// title heads the page; input names what the run ran on; ladders are the ladders compared (the
// options' own ladder when empty).
RunDescription DescribeRun(const SimOptions& options, const std::string& title,
                           const std::string& input, const std::vector<NamedLadder>& ladders);

}  // namespace zt::sim
