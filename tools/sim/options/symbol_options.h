// The symbol a run trades and what its prices are worth: --symbol (or the symbol a --history
// file's name gives) picks its digits, contract size and profit currency from the table of kinds
// (market/symbol_kinds.h); --account-currency and --profit-rate say how a result becomes the
// account's money; --deal-tolerance and --server-offset say how a recorded deal list and a broker's
// exports are held to the prices.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "options/option_table.h"
#include "options/sim_options.h"

namespace zt::sim {

struct GivenTexts;

// Registers the options into table, their texts into given.
void AddSymbolOptions(OptionTable& table, SimOptions& o, GivenTexts& given);

// Settles the symbol once every option is read: the kind's point, contract size and (for the
// price model) start price where the command line gave none, the profit's conversion, the server
// offset. Returns one line naming the option when they cannot agree, else empty.
std::string SettleSymbol(const CLI::App& app, const GivenTexts& given, SimOptions& o);

}  // namespace zt::sim
