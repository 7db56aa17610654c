// The shipped 32-bit expert advisor, translated from hosts/mql4 and run over the terminal double
// against the real zentravo.so. Each scenario checks what the trader sees (alerts, panel, mails,
// trades) and what the library was told (its snapshot).
#include <gtest/gtest.h>

#include "zentravo_guard_mq4.h"

namespace {

class ShippedEa : public ::testing::Test {
protected:
    mql::Terminal term{ZT_LIBRARY_FILE};
    ea_mq4::Program ea;  // default inputs: the host guide's worked example on a 1000 account

    void SetUp() override { term.balance = 1000.0; }

    double snapshot() { return term.library().GetEquitySnap(); }
    std::string alertText(int kind) {
        char text[ZT_TEXT_CAPACITY] = {};
        term.library().GetAlert(kind, text);
        return text;
    }
    int errorsOf(int code) const {
        int n = 0;
        for (const auto& t : term.trades) n += t.error == code;
        return n;
    }
};

TEST_F(ShippedEa, StartsOnTheAccountEquityAndDrawsThePanel) {
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    EXPECT_DOUBLE_EQ(snapshot(), 1000.0);
    EXPECT_DOUBLE_EQ(ea.gInitialEquity, 1000.0);
    // Every cell the library fills is on the chart; the title row is never empty.
    EXPECT_NE(term.label("ZT_L0_0"), " ");
    EXPECT_EQ(term.objects.size(), 2u * 16 + 2u * 14);
    ea.OnDeinit(1);
    EXPECT_TRUE(term.objects.empty());
}

TEST_F(ShippedEa, RefusesToStartWithoutDllImports) {
    term.dllsAllowed = false;
    EXPECT_EQ(ea.OnInit(), mql::INIT_FAILED);
    ASSERT_EQ(term.alerts.size(), 1u);
    EXPECT_NE(term.alerts[0].find("allow DLL imports"), std::string::npos);
}

TEST_F(ShippedEa, StopLossClosesEveryTradeThenRollsOntoTheEquityLeft) {
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
    term.openOrder("EURUSD", mql::OP_SELL, 1.0, -50.0);
    term.openOrder("EURUSD", mql::OP_BUYLIMIT, 1.0, 0.0);
    ea.OnTick();  // 890 is below the stop loss of 100 under 1000
    EXPECT_TRUE(term.orders.empty());
    EXPECT_DOUBLE_EQ(term.balance, 890.0);
    ASSERT_EQ(term.trades.size(), 3u);
    EXPECT_EQ(term.trades[0].function, "OrderDelete");  // newest first
    EXPECT_EQ(errorsOf(0), 3);
    ASSERT_EQ(term.alerts.size(), 1u);
    EXPECT_NE(term.alerts[0].find("890"), std::string::npos) << term.alerts[0];
    EXPECT_DOUBLE_EQ(snapshot(), 890.0);
}

TEST_F(ShippedEa, DrawdownStepAlertsThenTheLoweredTakeProfitCloses) {
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -22.0);
    ea.OnTick();  // 978: the drawdown target of 20 steps on, the take profit drops to 30
    ASSERT_EQ(term.alerts.size(), 1u);
    EXPECT_EQ(term.alerts[0], alertText(4));
    EXPECT_FALSE(term.alerts[0].empty());
    term.orders[0].profit = 31.0;
    ea.OnTick();
    EXPECT_TRUE(term.orders.empty());
    EXPECT_DOUBLE_EQ(snapshot(), 1031.0);
    EXPECT_EQ(term.alerts.size(), 2u);
}

// The shipped EA closes newest first: on a FIFO account every pass loses the newer trade to
// error 150 and needs another pass (and a Sleep) for it.
TEST_F(ShippedEa, FifoAccountRefusesTheNewestFirstOrder) {
    term.fifo = true;
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -50.0);
    const auto started = term.tickCount;
    ea.OnTick();
    EXPECT_TRUE(term.orders.empty());
    EXPECT_EQ(errorsOf(mql::ERR_TRADE_PROHIBITED_BY_FIFO), 1);
    EXPECT_EQ(term.tickCount - started, static_cast<unsigned>(ea.RetryWaitMs));
}

// The fault the host rework removes: when no close goes through, the shipped EA still reports
// the close-all and rolls the snapshot onto an equity that holds the open trades' loss.
TEST_F(ShippedEa, RollsOverOpenTradesWhenTradingIsDisabled) {
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -110.0);
    term.tradeAllowed = false;
    ea.OnTick();
    EXPECT_EQ(term.orders.size(), 1u);
    EXPECT_EQ(errorsOf(mql::ERR_TRADE_NOT_ALLOWED), ea.CloseAttempts);
    EXPECT_DOUBLE_EQ(snapshot(), 890.0);
    ASSERT_EQ(term.alerts.size(), 2u);
    EXPECT_NE(term.alerts[0].find("rolls on anyway"), std::string::npos);
}

TEST_F(ShippedEa, MailsADrawdownOncePerCycle) {
    ea.EmailDrawdown = 50;
    ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
    term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
    ea.OnTick();
    ea.OnTick();
    ASSERT_EQ(term.mails.size(), 1u);
    char subject[ZT_TEXT_CAPACITY] = {};
    term.library().GetEmailSubject(2, subject);
    EXPECT_EQ(term.mails[0].subject, subject);
    EXPECT_FALSE(term.mails[0].subject.empty());
    EXPECT_NE(term.mails[0].body.find('\n'), std::string::npos);
}

}  // namespace
