// What each figure of the report means, said once under the table that shows it, and what the
// library's own short texts (the ladders' TP, DD, INC, SL; the alerts' "SL: -$", "DDT", "EIT",
// "TTC") stand for. A term not defined here stands without a definition rather than with a wrong
// one.
#pragma once

#include <string>
#include <vector>

#include "report/report_page.h"

namespace zt::sim {

struct Definition {
  std::string term, meaning;
};

// The definitions of the columns' terms (a group's, then a heading's), each once, in the order the
// columns first show them.
std::vector<Definition> DefineColumns(const std::vector<FigureColumn>& columns);

// The ladders' four tables as the library reads them: TP, DD, INC, SL.
std::vector<Definition> DefineLadderTerms();

// The alert and e-mail texts of a run, as the library writes them and the EA shows them.
std::vector<Definition> DefineAlertTexts();

}  // namespace zt::sim
