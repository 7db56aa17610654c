#include "report/run_description.h"

#include <algorithm>
#include <fstream>

#include "options/run_input.h"
#include "options/sim_options.h"
#include "system/paths.h"

namespace zt::sim {
namespace {

// "TP 60,40   DD 30,60   INC none   SL 100": the ladder's four tables as the library reads them.
std::string LadderText(const TargetTexts& texts) {
  const Ladder ladder = ReadLadder(texts);
  return "TP " + FormatSets(ladder.takeProfits) + "   DD " + FormatSets(ladder.drawdownTargets) +
         "   INC " + FormatList(ladder.increaseTargets) + "   SL " + FormatList(ladder.stopLosses);
}

// What a history file says of itself on a first comment line ("# made by zt-sim's price model
// (seed 7), not a market's record"), without the "#"; empty when its first line is data.
std::string FirstComment(const std::string& path) {
  std::ifstream file(system::PathOf(path), std::ios::binary);
  std::string line;
  if (!file || !std::getline(file, line) || line.empty() || line.front() != '#') return {};
  const std::size_t start = line.find_first_not_of("# \t");
  const std::size_t end = line.find_last_not_of(" \t\r");
  if (start == std::string::npos) return {};
  // A line too long for the page is cut: it is a note, not the file.
  return line.substr(start, std::min<std::size_t>(end + 1 - start, 160));
}

}  // namespace

RunDescription DescribeRun(const SimOptions& options, const std::string& title,
                           const std::string& input, const std::vector<NamedLadder>& ladders) {
  RunDescription d;
  d.title = title;
  d.input = input;
  d.record = options.record;
  d.prices = NameModelling(options);
  if (const std::string& path = options.positions.history.path; !path.empty()) {
    if (const std::string says = FirstComment(path); !says.empty()) {
      const bool made = says.find("price model") != std::string::npos;
      d.history = (made ? "a synthetic sample, not a market's record: its first line says \""
                        : "its first line says \"") +
                  says + "\"";
    }
  }
  if (const std::string caution = CautionOfBars(options, ladders); !caution.empty())
    d.notes.push_back(caution);
  const bool recordedCurve = !options.csvPath.empty();
  const bool deals = !options.positions.dealsPath.empty();
  d.strategy = !recordedCurve && !deals &&
               (options.market == MarketKind::Model || !options.positions.history.path.empty());
  if (ladders.empty()) {
    d.ladders.push_back({"ladder", LadderText(options.host.targets)});
  } else {
    for (const NamedLadder& ladder : ladders)
      d.ladders.push_back({ladder.name, LadderText(ladder.texts)});
  }
  if (recordedCurve ||
      (options.market == MarketKind::Walk && options.positions.history.path.empty() && !deals)) {
    d.notes.push_back(std::string(recordedCurve ? "On a recorded equity history"
                                                : "On the account model's walk") +
                      " the open trades' result moves the same whether or not the guard closes "
                      "them: a ladder changes nothing here but what its closes cost. --market "
                      "model lets a close change what follows.");
  }
  if (deals) {
    d.notes.push_back(
        "A recorded deal list is replayed over the bar history: a guard's close ends the trades "
        "open then at that bar's price, and trades opened later happen as recorded, as if the "
        "trader had gone on regardless.");
  }
  return d;
}

}  // namespace zt::sim
