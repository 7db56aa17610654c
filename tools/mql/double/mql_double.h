// mql_double.h - the terminal double: the MQL functions and constants the shipped expert advisors
// use, over a scripted terminal a scenario test controls (account, quotes, orders, trade errors,
// clock, chart objects, alerts and e-mails). Translated EAs (see ../translator.h) compile against
// it; their #import block reaches the real zentravo.so through library().
//
// Signatures follow the MQL4 reference (docs.mql4.com), the mql5 namespace the MQL5 one
// (www.mql5.com/en/docs); each function names its page. This is the one header the generated code
// and the tests include; the double itself is kept in parts:
//   mql_types.h     types and named constants, and which namespace each language sees
//   mql_records.h   what the terminal keeps: orders, quotes, trade calls, mails, globals, files
//   mql_terminal.h  the scripted terminal a scenario sets and reads
//   mql_market.h    the terminal's market: orders and deals, the exchange, refused trade calls
//   mql_strings.h   strings and conversions
//   mql_common.h    the functions both languages share
//   mql_files.h     the EA's files in the terminal's sandbox
//   mql4_api.h      what only MQL4 has
//   mql5_api.h      what only MQL5 has, CTrade among it
#pragma once

#include "mql4_api.h"
#include "mql5_api.h"
#include "mql_files.h"
