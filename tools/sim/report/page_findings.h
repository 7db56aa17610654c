// What a report page finds in its own figures before a trader reads the tables: the outcomes the
// verdict is written from, the recovery factor computed so that a larger loss never ranks better,
// days under water said as a share where they only repeat the run's length, and the runs that
// ended below zero.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "figures/verdict.h"
#include "report/report_page.h"

namespace zt::sim {

// The end results of a table of one market, from its "end result" column or its "end equity"
// less the deposit; its stop-outs from a "stop-out" column where there is one.
std::vector<Outcome> ReadOneMarketOutcomes(const PageTable& table, double deposit);
// Each ladder's and no guard's end results over many runs, from the runs' JSON document.
std::vector<Outcome> ReadRunsOutcomes(const nlohmann::ordered_json& runs);

// Fills the "recovery factor" column of table, whose rows stand under prefixes in json, from each
// row's median end result and median deepest drawdown.
void FillRecoveryFactors(PageTable& table, const nlohmann::ordered_json& json,
                         const std::vector<std::string>& prefixes);

// The "days under water" columns of table as a share of the run's length (runDays) where every
// row's figure is 90 % of it or more.
void ShowDaysAsShares(PageTable& table, double runDays);

// A warning for the runs that ended with equity below zero: which, how deep, and what a broker
// does then. ends holds each row's end results (one per run); empty when none fell below zero.
struct EndResults {
  std::string name;
  std::vector<double> ends;
};
std::string WarnOfNegativeBalances(const std::vector<EndResults>& rows, double deposit);

}  // namespace zt::sim
