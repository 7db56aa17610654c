// The terminal double's trading held to the reference: filling modes, the history each terminal
// has loaded, the symbol's volume limits, deals placed on an exchange and every deal type.
// Each behaviour names its reference page.
#include "terminal_double.h"

namespace terminal_double {
namespace {

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

}  // namespace
}  // namespace terminal_double
