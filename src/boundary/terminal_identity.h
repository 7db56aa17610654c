// TerminalIdentity: the chart symbol, the account number and the trading server, read from the
// terminal's window titles for the e-mail texts.
#pragma once

namespace zt::boundary {

// Reads guard.symbol from the title of the chart's frame (the chart window's parent), "EURUSD,H1"
// giving "EURUSD", and guard.accountNumber and guard.serverName from the terminal's main window
// (the frame's root ancestor), "123456: ICMarketsSC-Demo03 - Demo Account" giving 123456 and
// " ICMarketsSC-Demo03": the text after the first ':' (its leading blank stays) up to the title's
// separator " -". A frame title without ',' keeps its first 15 characters; a main title without
// ':' gives an empty server text, one without " -" after the colon keeps the whole rest. The
// account number saturates at the int range.
void TerminalIdentity(int chartHandle);

// The account number at the start of a title: the decimal integer before the first ':', after
// leading blanks and an optional sign; 0 without digits; saturated at the int range.
int AccountNumberOf(const char* title);

}  // namespace zt::boundary
