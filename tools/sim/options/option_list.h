// Every option of zt-sim, group by group in the order --help and a written settings file show
// them: the rows of the option table.
#pragma once

#include <string>
#include <vector>

#include "options/option_table.h"
#include "options/sim_options.h"

namespace zt::sim {

// What the command line gives that is no field of SimOptions as typed: the start time as text,
// the ladders before they are read, the market and the news times as words, and the progress
// bar's flag the other way round.
struct GivenTexts {
  std::string start;
  std::vector<std::string> ladderTexts;
  std::vector<std::string> ladderFiles;
  bool noProgress = false;
  std::string news = "13:30";
  std::string market = "walk";
  std::string symbol;  // --symbol as given; the symbol settled is in the position market's options
  std::string accountCurrency = "USD";
  std::string profitRate;  // empty: none given
  std::string serverOffset = "0";
};

// Registers every option into table, filling o and given.
void AddOptions(OptionTable& table, SimOptions& o, GivenTexts& given);

// "13:30,15:00": seconds after midnight UTC of --news as its text writes them, and back. Read
// returns false when a time is not HH:MM within a day.
bool ReadNewsTimes(std::string_view text, std::vector<std::int64_t>& times);
std::string FormatNewsTimes(const std::vector<std::int64_t>& times);

}  // namespace zt::sim
