// The terminal double held to the reference where a forgiving double would let an EA pass that a
// real terminal fails. Each behaviour names its reference page.
#include <gtest/gtest.h>

#include "mql_double.h"

namespace {

using namespace mql::shared;

class TerminalDouble : public ::testing::Test {
 protected:
  mql::Terminal term{ZT_LIBRARY_FILE};
};

// docs.mql4.com/common/sendnotification: 2 a second, 10 a minute, a MetaQuotes ID needed.
TEST_F(TerminalDouble, PushesKeepTheTerminalsLimits) {
  using namespace mql::mql4;
  EXPECT_TRUE(SendNotification("one"));
  EXPECT_TRUE(SendNotification("two"));
  EXPECT_FALSE(SendNotification("three in a second"));
  EXPECT_EQ(GetLastError(), 4253);
  for (int second = 1; second <= 4; ++second) {
    term.tickCount += 1000;
    EXPECT_TRUE(SendNotification("a"));
    EXPECT_TRUE(SendNotification("b"));
  }
  term.tickCount += 1000;
  EXPECT_FALSE(SendNotification("the eleventh in a minute"));
  EXPECT_EQ(GetLastError(), 4253);
  term.tickCount += 60000;
  EXPECT_FALSE(SendNotification(std::string(256, 'x')));
  EXPECT_EQ(GetLastError(), 4251);
  term.metaQuotesId = false;
  EXPECT_FALSE(SendNotification("no MetaQuotes ID"));
  EXPECT_EQ(GetLastError(), 4252);
  EXPECT_EQ(TerminalInfoInteger(TERMINAL_MQID), 0);
}

// docs.mql4.com/common/sendmail: nothing goes out while e-mail is off in the settings.
TEST_F(TerminalDouble, MailFailsWhileEmailIsOff) {
  EXPECT_TRUE(SendMail("subject", "body"));
  term.mailEnabled = false;
  EXPECT_FALSE(SendMail("subject", "body"));
}

// ---- terminal global variables ----------------------------------------------------------------

// docs.mql4.com/globals/globalvariableset: a name holds at most 63 characters.
TEST_F(TerminalDouble, AGlobalNameOver63CharactersIsRefused) {
  const std::string fits(62, 'g'), tooLong(64, 'g');
  EXPECT_NE(mql::mql4::GlobalVariableSet(fits + "\xC3\xA9", 1.0), 0);  // 63 characters, 64 bytes
  EXPECT_EQ(mql::mql4::GlobalVariableSet(tooLong, 1.0), 0);
  EXPECT_EQ(mql::mql4::GetLastError(), 4057);
  EXPECT_EQ(mql::mql5::GlobalVariableSet(tooLong, 1.0), 0);
  EXPECT_EQ(mql::mql5::GetLastError(), 4003);
  EXPECT_FALSE(mql::mql5::GlobalVariableTemp(tooLong));
  EXPECT_FALSE(GlobalVariableCheck(tooLong));
  EXPECT_EQ(GlobalVariablesTotal(), 1);
}

// docs.mql4.com/globals: deleted four weeks after the last access, a read or check included.
TEST_F(TerminalDouble, AGlobalUnusedForFourWeeksIsDeleted) {
  using namespace mql::mql4;
  GlobalVariableSet("read", 1.0);
  GlobalVariableSet("checked", 2.0);
  GlobalVariableSet("left", 3.0);
  term.passDays(27);
  GlobalVariableGet("read");
  GlobalVariableCheck("checked");
  term.passDays(1);
  EXPECT_EQ(GlobalVariablesTotal(), 2);
  EXPECT_FALSE(GlobalVariableCheck("left"));
  EXPECT_DOUBLE_EQ(GlobalVariableGet("read"), 1.0);
  term.passDays(28);
  EXPECT_EQ(GlobalVariablesTotal(), 0);
}

// docs.mql4.com/globals/globalvariablesflush, globalvariabletemp: the terminal writes its global
// variables at a flush and at shutdown; a crash keeps only what was written, and temporary ones
// are never written.
TEST_F(TerminalDouble, ACrashLosesTheGlobalsSetSinceTheLastFlush) {
  using namespace mql::mql5;
  GlobalVariableSet("flushed", 1.0);
  ASSERT_TRUE(GlobalVariableTemp("session"));
  GlobalVariablesFlush();
  GlobalVariableSet("flushed", 2.0);
  GlobalVariableSet("later", 3.0);
  term.crash();
  EXPECT_DOUBLE_EQ(GlobalVariableGet("flushed"), 1.0);
  EXPECT_FALSE(GlobalVariableCheck("later"));
  EXPECT_FALSE(GlobalVariableCheck("session"));

  GlobalVariableSet("kept", 4.0);
  GlobalVariableTemp("session");
  term.shutDownGlobals();
  term.crash();
  EXPECT_DOUBLE_EQ(GlobalVariableGet("kept"), 4.0);
  EXPECT_FALSE(GlobalVariableCheck("session"));
}

// ---- the last error ---------------------------------------------------------------------------

// docs.mql4.com/check/getlasterror clears the error; www.mql5.com/en/docs/check/getlasterror
// leaves it until ResetLastError.
TEST_F(TerminalDouble, OnlyMql4GetLastErrorClearsTheError) {
  mql::mql4::GlobalVariableGet("missing");
  EXPECT_EQ(mql::mql4::GetLastError(), 4058);
  EXPECT_EQ(mql::mql4::GetLastError(), 0);
  mql::mql5::GlobalVariableGet("missing");
  EXPECT_EQ(mql::mql5::GetLastError(), 4501);
  EXPECT_EQ(mql::mql5::GetLastError(), 4501);
  ResetLastError();
  EXPECT_EQ(mql::mql5::GetLastError(), 0);
}

// www.mql5.com/en/docs/network/sendnotification: the 64-bit terminal numbers the push errors
// 4515 to 4518 where the 32-bit one has 4250 to 4253.
TEST_F(TerminalDouble, Mql5NumbersThePushErrorsItsOwnWay) {
  using namespace mql::mql5;
  EXPECT_FALSE(SendNotification(std::string(256, 'x')));
  EXPECT_EQ(GetLastError(), 4516);
  EXPECT_TRUE(SendNotification("one"));
  EXPECT_TRUE(SendNotification("two"));
  EXPECT_FALSE(SendNotification("three in a second"));
  EXPECT_EQ(GetLastError(), 4518);
  term.tickCount += 60000;
  term.pushWorks = false;
  EXPECT_FALSE(SendNotification("lost"));
  EXPECT_EQ(GetLastError(), 4515);
  term.metaQuotesId = false;
  EXPECT_FALSE(SendNotification("no MetaQuotes ID"));
  EXPECT_EQ(GetLastError(), 4517);
}

// ---- filling modes ----------------------------------------------------------------------------

// www.mql5.com/en/docs/constants/environment_state/marketinfoconstants: a close in a filling
// mode the symbol does not allow is refused with TRADE_RETCODE_INVALID_FILL; CTrade picks FOK,
// else IOC, from the symbol's flags; a market order takes Return only on an exchange, and Fill or
// Kill only under Instant and Request execution.
TEST_F(TerminalDouble, ACloseInAFillingModeTheSymbolRefusesFails) {
  using namespace mql::mql5;
  CTrade trade;
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  const auto ticket = static_cast<ulong>(term.orders.back().ticket);
  trade.SetTypeFilling(ORDER_FILLING_IOC);  // EURUSD allows only FOK
  trade.PositionClose(ticket);
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_INVALID_FILL);
  trade.SetTypeFilling(ORDER_FILLING_RETURN);
  trade.PositionClose(ticket);
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_INVALID_FILL);
  term.quotes["EURUSD"].execution = SYMBOL_TRADE_EXECUTION_EXCHANGE;
  EXPECT_TRUE(trade.PositionClose(ticket));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_DONE);

  term.quotes["EURUSD"] = {1.1, 1.1001, 0.00001, 5};
  term.quotes["EURUSD"].fillings = SYMBOL_FILLING_IOC;
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  trade.SetTypeFilling(ORDER_FILLING_FOK);
  EXPECT_TRUE(trade.SetTypeFillingBySymbol("EURUSD"));
  EXPECT_TRUE(trade.PositionClose(static_cast<ulong>(term.orders.back().ticket)));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_DONE);
  term.quotes["EURUSD"].fillings = 0;
  EXPECT_FALSE(trade.SetTypeFillingBySymbol("EURUSD"));
  EXPECT_EQ(SymbolInfoInteger("EURUSD", SYMBOL_FILLING_MODE), 0);

  term.quotes["EURUSD"].execution = SYMBOL_TRADE_EXECUTION_INSTANT;
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  trade.SetTypeFilling(ORDER_FILLING_RETURN);
  trade.PositionClose(static_cast<ulong>(term.orders.back().ticket));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_INVALID_FILL);
  trade.SetTypeFilling(ORDER_FILLING_FOK);
  EXPECT_TRUE(trade.PositionClose(static_cast<ulong>(term.orders.back().ticket)));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_DONE);
}

// ---- code pages -------------------------------------------------------------------------------

// docs.mql4.com/convert/stringtochararray: CP_ACP gives the ANSI page's bytes (Windows-1252: the
// euro sign is 0x80, é 0xE9, and a check mark it lacks is '?'); CP_UTF8 the UTF-8 bytes.
// CharArrayToString reads them back in the same page.
TEST_F(TerminalDouble, CharArraysHoldTheCodePagesBytes) {
  const std::string text = "\xE2\x82\xAC\xC3\xA9\xE2\x9C\x93";  // €é✓
  mql::array<uchar> ansi, utf8;
  EXPECT_EQ(StringToCharArray(text, ansi), 4);
  EXPECT_EQ(ansi.values(), (std::vector<uchar>{0x80, 0xE9, '?', 0}));
  EXPECT_EQ(CharArrayToString(ansi), "\xE2\x82\xAC\xC3\xA9?");
  EXPECT_EQ(StringToCharArray(text, utf8, 0, -1, CP_UTF8), 9);
  EXPECT_EQ(std::string(utf8.values().begin(), utf8.values().end() - 1), text);
  EXPECT_EQ(CharArrayToString(utf8, 0, -1, CP_UTF8), text);
  EXPECT_EQ(CharArrayToString(utf8),
            "\xC3\xA2\xE2\x80\x9A\xC2\xAC\xC3\x83\xC2\xA9\xC3\xA2\xC5\x93\xE2\x80\x9C");
}

// docs.mql4.com/trading/ordershistorytotal: the Account History tab's period (from and to)
// decides what is loaded, and nothing is before the terminal has loaded it;
// docs.mql4.com/trading/orderselect: by ticket the pool is ignored, a closed order is found.
TEST_F(TerminalDouble, Mql4LoadsTheHistoryTabsPeriodAndSelectsClosedOrdersByTicket) {
  using namespace mql::mql4;
  term.balanceOperation(1000.0);
  term.tickCount += 86400 * 1000;
  term.openOrder("EURUSD", OP_BUY, 1.0, 5.0);
  const int ticket = term.orders[0].ticket;
  ASSERT_TRUE(OrderClose(ticket, 1.0, 1.1, 10));
  EXPECT_EQ(OrdersHistoryTotal(), 3);  // the first deposit, the deposit, the closed order
  term.historyFrom = term.now();
  EXPECT_EQ(OrdersHistoryTotal(), 1);
  ASSERT_TRUE(OrderSelect(0, SELECT_BY_POS, MODE_HISTORY));
  EXPECT_EQ(OrderTicket(), ticket);
  ASSERT_TRUE(OrderSelect(ticket, SELECT_BY_TICKET, MODE_TRADES));
  EXPECT_NE(OrderCloseTime(), 0);
  term.historyFrom = 0;
  term.historyTo = term.now() - 3600;  // a custom period that ends an hour ago
  EXPECT_EQ(OrdersHistoryTotal(), 2);
  term.historyLoaded = false;
  EXPECT_EQ(OrdersHistoryTotal(), 0);
}

// www.mql5.com/en/docs/trading/historyselect: only deals within the range, and only those the
// terminal has received; TimeCurrent (docs.mql4.com/dateandtime/timecurrent) is the last quote's
// time, still over a weekend, and 0 before the first quote.
TEST_F(TerminalDouble, Mql5HistorySelectHonoursItsRangeAndTimeCurrentStandsStill) {
  using namespace mql::mql5;
  term.lastQuote = term.now();
  term.tickCount += 86400 * 1000;
  term.balanceOperation(500.0);
  EXPECT_EQ(TimeCurrent(), term.lastQuote);
  ASSERT_TRUE(HistorySelect(term.lastQuote - 3600, TimeCurrent()));
  EXPECT_EQ(HistoryDealsTotal(), 0);
  ASSERT_TRUE(HistorySelect(term.lastQuote - 3600, TimeLocal()));
  ASSERT_EQ(HistoryDealsTotal(), 1);
  const ulong deposit = HistoryDealGetTicket(0);
  EXPECT_EQ(HistoryDealGetInteger(deposit, DEAL_TYPE), DEAL_TYPE_BALANCE);
  EXPECT_EQ(HistoryDealGetInteger(deposit, DEAL_TIME), TimeLocal());
  term.balanceOperation(-200.0, mql::BOOK_BALANCE,
                        true);  // the balance moves before the record comes
  EXPECT_DOUBLE_EQ(AccountInfoDouble(ACCOUNT_BALANCE), 10300.0);
  ASSERT_TRUE(HistorySelect(0, TimeLocal()));
  EXPECT_EQ(HistoryDealsTotal(), 2);
  term.land();
  ASSERT_TRUE(HistorySelect(0, TimeLocal()));
  EXPECT_EQ(HistoryDealsTotal(), 3);
  term.quoteKnown = false;
  EXPECT_EQ(TimeCurrent(), 0);
  EXPECT_DOUBLE_EQ(SymbolInfoDouble("EURUSD", SYMBOL_BID), 0.0);
}

// docs.mql4.com/account/accountinfointeger: the login is 0 and the server "" until the terminal
// has logged in; trading may be barred for the account or for expert advisors; another property
// answers nothing, not the login.
TEST_F(TerminalDouble, AccountPropertiesSayWhoAndWhatIsAllowed) {
  term.login = 0;
  term.server = "";
  term.accountTradeAllowed = false;
  term.credit = 50.0;
  EXPECT_EQ(AccountInfoInteger(ACCOUNT_LOGIN), 0);
  EXPECT_EQ(AccountInfoString(ACCOUNT_SERVER), "");
  EXPECT_EQ(AccountInfoInteger(ACCOUNT_TRADE_ALLOWED), 0);
  EXPECT_EQ(AccountInfoInteger(ACCOUNT_TRADE_EXPERT), 1);
  EXPECT_EQ(AccountInfoInteger(static_cast<ENUM_ACCOUNT_INFO_INTEGER>(99)), 0);
  EXPECT_DOUBLE_EQ(AccountInfoDouble(ACCOUNT_BALANCE), 10000.0);
  EXPECT_DOUBLE_EQ(AccountInfoDouble(ACCOUNT_CREDIT), 50.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 0.0);
  EXPECT_EQ(mql::mql4::OrderClose(term.orders[0].ticket, 1.0, 1.1, 10), false);
  EXPECT_EQ(mql::mql4::GetLastError(), mql::ERR_TRADE_DISABLED);
}

// docs.mql4.com/marketinformation/symbolinfodouble: a symbol's deals hold from SYMBOL_VOLUME_MIN
// to SYMBOL_VOLUME_MAX lots on SYMBOL_VOLUME_STEP; docs.mql4.com/trading/orderclose takes no more,
// and MQL4 reopens what a partial close leaves under a new ticket "from #" the old one.
TEST_F(TerminalDouble, Mql4ClosesWithinTheVolumeLimitsAndReopensTheRest) {
  using namespace mql::mql4;
  term.quotes["EURUSD"].volumeMax = 50.0;
  EXPECT_DOUBLE_EQ(SymbolInfoDouble("EURUSD", SYMBOL_VOLUME_MAX), 50.0);
  EXPECT_DOUBLE_EQ(SymbolInfoDouble("EURUSD", SYMBOL_VOLUME_STEP), 0.01);
  term.openOrder("EURUSD", OP_BUY, 120.0, -120.0);
  const int ticket = term.orders[0].ticket;
  EXPECT_FALSE(OrderClose(ticket, 120.0, 1.1, 10));
  EXPECT_EQ(GetLastError(), ERR_INVALID_TRADE_VOLUME);
  EXPECT_FALSE(OrderClose(ticket, 20.005, 1.1, 10));
  ASSERT_TRUE(OrderClose(ticket, 50.0, 1.1, 10));
  ASSERT_EQ(term.orders.size(), 1u);
  ASSERT_TRUE(OrderSelect(0, SELECT_BY_POS, MODE_TRADES));
  EXPECT_EQ(OrderComment(), "from #" + std::to_string(ticket));
  EXPECT_DOUBLE_EQ(OrderLots(), 70.0);
  EXPECT_DOUBLE_EQ(OrderProfit(), -70.0);
  EXPECT_DOUBLE_EQ(AccountBalance(), 9950.0);
  ASSERT_TRUE(OrderSelect(ticket, SELECT_BY_TICKET));
  EXPECT_EQ(OrderComment(), "to #" + std::to_string(term.orders[0].ticket));
}

// www.mql5.com/en/docs/constants/errorswarnings/enum_trade_return_codes: more than the symbol's
// largest deal is an invalid volume (10014); an exchange answers "placed" (10008) and fills the
// close later, while the order in flight stays among the orders, with no position yet
// (www.mql5.com/en/docs/constants/tradingconstants/orderproperties: ORDER_POSITION_ID is set "as
// soon as it is executed"), and a second close of the position meanwhile is refused (10039).
TEST_F(TerminalDouble, Mql5ClosesWithinTheVolumeLimitsAndPlacesOnAnExchange) {
  using namespace mql::mql5;
  CTrade trade;
  term.quotes["EURUSD"].volumeMax = 100.0;
  term.openOrder("EURUSD", mql::OP_BUY, 300.0, -300.0);
  const auto ticket = static_cast<ulong>(term.orders[0].ticket);
  EXPECT_TRUE(trade.PositionClose(ticket));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_INVALID_VOLUME);
  EXPECT_TRUE(trade.PositionClosePartial(ticket, 100.0));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_DONE);
  ASSERT_TRUE(PositionSelectByTicket(ticket));
  EXPECT_DOUBLE_EQ(PositionGetDouble(POSITION_VOLUME), 200.0);
  term.quotes["EURUSD"].placesCloses = true;
  EXPECT_TRUE(trade.PositionClosePartial(ticket, 100.0));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_PLACED);
  ASSERT_EQ(OrdersTotal(), 1);
  ASSERT_NE(OrderGetTicket(0), 0u);
  EXPECT_EQ(OrderGetInteger(ORDER_TYPE), ORDER_TYPE_SELL);
  EXPECT_EQ(OrderGetInteger(ORDER_POSITION_ID), 0);
  EXPECT_DOUBLE_EQ(OrderGetDouble(ORDER_VOLUME_CURRENT), 100.0);
  EXPECT_EQ(PositionsTotal(), 1);
  EXPECT_TRUE(trade.PositionClosePartial(ticket, 50.0));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_CLOSE_ORDER_EXIST);
  term.executePlaced();
  EXPECT_EQ(OrdersTotal(), 0);
  ASSERT_TRUE(PositionSelectByTicket(ticket));
  EXPECT_DOUBLE_EQ(PositionGetDouble(POSITION_VOLUME), 100.0);
  EXPECT_DOUBLE_EQ(AccountInfoDouble(ACCOUNT_BALANCE), 9800.0);  // each deal booked its share
  EXPECT_TRUE(trade.PositionClose(ticket));
  term.executePlaced();
  EXPECT_EQ(PositionsTotal(), 0);

  // A netting position is reduced by a deal against it; the partial close is for hedging.
  term.netting = true;
  term.quotes["EURUSD"].placesCloses = false;
  term.openOrder("EURUSD", mql::OP_SELL, 150.0, -15.0);
  const auto netted = static_cast<ulong>(term.orders[0].ticket);
  EXPECT_FALSE(trade.PositionClosePartial(netted, 100.0));
  EXPECT_TRUE(trade.Buy(100.0, "EURUSD"));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_DONE);
  ASSERT_TRUE(PositionSelectByTicket(netted));
  EXPECT_DOUBLE_EQ(PositionGetDouble(POSITION_VOLUME), 50.0);
}

// www.mql5.com/en/docs/standardlibrary/tradeclasses/ctrade/ctradebuy: on an exchange a deal is
// placed (10008) and listed as a market order until it fills; a second one meanwhile is taken
// too, so both may fill: against a 50-lot netting position, two 50-lot deals reverse it.
TEST_F(TerminalDouble, Mql5PlacesDealsOnAnExchangeAndFillsThemAll) {
  using namespace mql::mql5;
  CTrade trade;
  term.netting = true;
  term.quotes["EURUSD"].placesCloses = true;
  term.openOrder("EURUSD", mql::OP_SELL, 50.0, 0.0);
  EXPECT_TRUE(trade.Buy(50.0, "EURUSD"));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_PLACED);
  ASSERT_EQ(OrdersTotal(), 1);
  ASSERT_NE(OrderGetTicket(0), 0u);
  EXPECT_EQ(OrderGetInteger(ORDER_TYPE), ORDER_TYPE_BUY);
  EXPECT_EQ(PositionsTotal(), 1);
  EXPECT_TRUE(trade.Buy(50.0, "EURUSD"));
  EXPECT_EQ(trade.ResultRetcode(), TRADE_RETCODE_PLACED);
  term.executePlaced();
  EXPECT_EQ(OrdersTotal(), 0);
  ASSERT_EQ(PositionsTotal(), 1);
  ASSERT_NE(PositionGetTicket(0), 0u);
  EXPECT_EQ(PositionGetInteger(POSITION_TYPE), POSITION_TYPE_BUY);
}

// www.mql5.com/en/docs/constants/tradingconstants/dealproperties: the agent commission, interest,
// dividends and tax are deal types of their own; a canceled deal keeps its place with the
// canceled type and no result, and a balance operation takes the result back; a type the
// reference does not list (a later terminal's) is answered as it is.
TEST_F(TerminalDouble, Mql5BooksEveryDealTypeAndCancelsDeals) {
  using namespace mql::mql5;
  term.balanceOperation(60.0, mql::BOOK_AGENT_COMMISSION);
  term.balanceOperation(2.0, mql::BOOK_INTEREST);
  term.balanceOperation(5.0, mql::BOOK_UNLISTED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 40.0);
  term.history.push_back(term.orders.back());
  term.history.back().closeTime = term.now();
  term.orders.clear();
  term.balance += 40.0;
  term.cancelDeal(term.history.back().ticket);
  ASSERT_TRUE(HistorySelect(term.now() - 1, term.now() + 1));
  std::vector<long long> types;
  double booked = 0.0;
  for (int i = 0; i < HistoryDealsTotal(); ++i) {
    const ulong deal = HistoryDealGetTicket(i);
    types.push_back(HistoryDealGetInteger(deal, DEAL_TYPE));
    booked += HistoryDealGetDouble(deal, DEAL_PROFIT);
  }
  EXPECT_EQ(types,
            (std::vector<long long>{DEAL_TYPE_COMMISSION_AGENT_MONTHLY, DEAL_TYPE_INTEREST,
                                    DEAL_TAX + 20, DEAL_TYPE_BUY_CANCELED, DEAL_TYPE_BALANCE}));
  EXPECT_DOUBLE_EQ(booked, 60.0 + 2.0 + 5.0 + 0.0 - 40.0);
  EXPECT_DOUBLE_EQ(AccountInfoDouble(ACCOUNT_BALANCE), 10000.0 + 67.0);
}

// docs.mql4.com/eventfunctions/eventsetmillisecondtimer: false, with the error set, when the
// terminal cannot make the timer.
TEST_F(TerminalDouble, ATimerTheTerminalCannotMakeFails) {
  EXPECT_TRUE(mql::mql4::EventSetMillisecondTimer(250));
  EXPECT_EQ(term.timerMs, 250);
  EventKillTimer();
  term.timerFails = true;
  EXPECT_FALSE(mql::mql4::EventSetMillisecondTimer(250));
  EXPECT_EQ(mql::mql4::GetLastError(), 4024);
  EXPECT_FALSE(mql::mql5::EventSetMillisecondTimer(250));
  EXPECT_EQ(mql::mql5::GetLastError(), 4001);
  EXPECT_EQ(term.timerMs, 0);
}

// docs.mql4.com/check/isdllsallowed: with DLL imports off (the terminal's option or the EA's own
// box) a DLL call stops the EA; the checks say so beforehand.
TEST_F(TerminalDouble, ADllCallWithDllImportsOffStopsTheEa) {
  EXPECT_NO_THROW(mql::library("zentravo.dll", "GetEquitySnap"));
  term.terminalDllsAllowed = false;
  EXPECT_FALSE(mql::mql4::IsDllsAllowed());
  EXPECT_EQ(MQLInfoInteger(MQL_DLLS_ALLOWED), 0);
  EXPECT_EQ(TerminalInfoInteger(TERMINAL_DLLS_ALLOWED), 0);
  EXPECT_THROW(mql::library("zentravo.dll", "GetEquitySnap"), mql::CriticalError);
  EXPECT_EQ(term.callsOf("GetEquitySnap"), 1);
}

// docs.mql4.com/constants/namedconstants/uninit: an OnInit that returns anything but success is
// followed by OnDeinit(REASON_INITFAILED), also after new inputs (REASON_PARAMETERS); a closed
// chart, a template and a closing terminal each say so; the chart comes back as a new window.
TEST_F(TerminalDouble, TheTerminalDeinitialisesWhatItStarted) {
  struct Program {
    int answer = INIT_SUCCEEDED;
    std::vector<int> reasons;
    int OnInit() { return answer; }
    void OnDeinit(const int reason) { reasons.push_back(reason); }
  } ea;
  EXPECT_EQ(term.attach(ea), INIT_SUCCEEDED);
  EXPECT_TRUE(ea.reasons.empty());
  ea.answer = INIT_PARAMETERS_INCORRECT;
  EXPECT_EQ(term.attach(ea), INIT_PARAMETERS_INCORRECT);
  const int window = term.chartHandle;
  term.restart(ea);
  EXPECT_NE(term.chartHandle, window);
  EXPECT_EQ(
      term.changeInputs(ea, [](auto& program) { program.answer = INIT_PARAMETERS_INCORRECT; }),
      INIT_PARAMETERS_INCORRECT);
  term.objects["label"];
  term.closeChart(ea);
  EXPECT_TRUE(term.objects.empty());
  term.applyTemplate(ea);
  EXPECT_EQ(ea.reasons, (std::vector<int>{REASON_INITFAILED, REASON_CLOSE, REASON_PARAMETERS,
                                          REASON_INITFAILED, REASON_CHARTCLOSE, REASON_TEMPLATE}));
}

// docs.mql4.com/files/fileopen, filewritestring, filemove: a missing file does not open to read,
// text lines end in CR LF, a move replaces a file only with FILE_REWRITE and none that another
// program has open, a reader sharing it lets a shared open in and one that does not keeps it out
// (docs.mql4.com/constants/io_constants/fileflags), a full disk refuses.
TEST_F(TerminalDouble, FilesStayInTheSandboxAndAreReplacedOnlyWhenAsked) {
  using namespace mql::mql4;
  EXPECT_EQ(FileOpen("memo.txt", FILE_READ | FILE_TXT), INVALID_HANDLE);
  EXPECT_EQ(GetLastError(), ERR_CANNOT_OPEN_FILE);
  for (const char* name : {"memo.txt", "memo.new"}) {
    const int file = FileOpen(name, FILE_WRITE | FILE_TXT | FILE_ANSI);
    ASSERT_NE(file, INVALID_HANDLE);
    EXPECT_EQ(FileWriteString(file, std::string(name) + "\nend\n"),
              2u * 2 + 3 + std::string(name).size());
    FileClose(file);
  }
  EXPECT_FALSE(FileMove("memo.new", 0, "memo.txt", 0));
  mql::outsideHold("memo.txt",
                   FILE_READ | FILE_SHARE_READ | FILE_SHARE_WRITE);  // a scanner reading it
  EXPECT_FALSE(FileMove("memo.new", 0, "memo.txt", FILE_REWRITE));
  const int shared = FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_SHARE_READ);
  EXPECT_NE(shared, INVALID_HANDLE);
  FileClose(shared);
  mql::outsideRelease("memo.txt");
  mql::outsideHold("memo.txt", FILE_READ);  // a backup reading it alone
  EXPECT_EQ(FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_SHARE_READ), INVALID_HANDLE);
  mql::outsideRelease("memo.txt");
  ASSERT_TRUE(FileMove("memo.new", 0, "memo.txt", FILE_REWRITE));
  const int file = FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_ANSI);
  EXPECT_EQ(FileReadString(file), "memo.new");
  EXPECT_EQ(FileReadString(file), "end");
  EXPECT_TRUE(FileIsEnding(file));
  FileClose(file);
  term.filesWritable = false;
  EXPECT_EQ(FileOpen("memo.txt", FILE_WRITE | FILE_TXT), INVALID_HANDLE);
}

// docs.mql4.com/files/fileopen: FILE_COMMON opens in the folder every terminal of the computer
// shares, and without FILE_SHARE_READ / FILE_SHARE_WRITE nobody else opens the file until it is
// closed, another terminal neither; TERMINAL_DATA_PATH names each terminal's own folder.
TEST_F(TerminalDouble, ACommonFileOpenedWithoutSharingIsTheOpenersAlone) {
  using namespace mql::mql4;
  const int held = FileOpen("Guard\\account.lock", FILE_WRITE | FILE_BIN | FILE_COMMON);
  ASSERT_NE(held, INVALID_HANDLE);
  EXPECT_TRUE(FileIsExist("Guard\\account.lock", FILE_COMMON));
  EXPECT_FALSE(FileIsExist("Guard\\account.lock"));
  mql::Terminal other{ZT_LIBRARY_FILE};
  other.shareCommonFolderWith(term);
  EXPECT_NE(TerminalInfoString(TERMINAL_DATA_PATH), term.dataFolder);
  EXPECT_EQ(FileOpen("Guard\\account.lock", FILE_WRITE | FILE_BIN | FILE_COMMON), INVALID_HANDLE);
  EXPECT_EQ(GetLastError(), ERR_CANNOT_OPEN_FILE);
  term.activate();
  FileClose(held);
  other.activate();
  const int taken = FileOpen("Guard\\account.lock", FILE_WRITE | FILE_BIN | FILE_COMMON);
  EXPECT_NE(taken, INVALID_HANDLE);
  other.crash();  // the process ends: the file is let go
  term.activate();
  EXPECT_NE(FileOpen("Guard\\account.lock", FILE_READ | FILE_BIN | FILE_COMMON | FILE_SHARE_READ),
            INVALID_HANDLE);
}

// docs.mql4.com/constants/io_constants/fileflags: another program may hold the library's settings
// file against readers; the library then starts without it and resumes it at a later call once it
// can be read, which its notice line says.
TEST_F(TerminalDouble, AnotherProgramCanHoldTheSettingsFileFromTheLibrary) {
  auto& zt = term.library();
  double initial = 0.0;
  ASSERT_GT(
      zt.InitZT(term.chartHandle, "t", &initial, 1500.0, 0, 1500.0, "50", "20", "2000", "100"),
      0.0);
  term.holdSettings();
  initial = 0.0;
  EXPECT_DOUBLE_EQ(
      zt.InitZT(term.chartHandle, "t", &initial, 1000.0, 0, 1000.0, "50", "20", "2000", "100"),
      1000.0);
  char notice[ZT_TEXT_CAPACITY] = {};
  zt.GetLabel(15, 0, notice);
  EXPECT_EQ(std::string(notice).rfind("Started without saved settings", 0), 0u) << notice;
  term.releaseSettings();
  EXPECT_DOUBLE_EQ(zt.GetEquitySnap(), 1500.0);
  zt.GetLabel(15, 0, notice);
  EXPECT_EQ(std::string(notice), "Saved settings resumed late, once the file could be read");
}

}  // namespace
