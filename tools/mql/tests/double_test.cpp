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
// else IOC, from the symbol's flags; Return needs an execution other than Market.
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
    EXPECT_EQ(CharArrayToString(utf8), "\xC3\xA2\xE2\x80\x9A\xC2\xAC\xC3\x83\xC2\xA9\xC3\xA2\xC5\x93\xE2\x80\x9C");
}

// docs.mql4.com/trading/ordershistorytotal: the Account History tab's period decides what is
// loaded; docs.mql4.com/trading/orderselect: by ticket the pool is ignored, a closed order is found.
TEST_F(TerminalDouble, Mql4LoadsTheHistoryTabsPeriodAndSelectsClosedOrdersByTicket) {
    using namespace mql::mql4;
    term.balanceOperation(1000.0);
    term.tickCount += 86400 * 1000;
    term.openOrder("EURUSD", OP_BUY, 1.0, 5.0);
    const int ticket = term.orders[0].ticket;
    ASSERT_TRUE(OrderClose(ticket, 1.0, 1.1, 10));
    EXPECT_EQ(OrdersHistoryTotal(), 2);
    term.historyFrom = term.now();
    EXPECT_EQ(OrdersHistoryTotal(), 1);
    ASSERT_TRUE(OrderSelect(0, SELECT_BY_POS, MODE_HISTORY));
    EXPECT_EQ(OrderTicket(), ticket);
    ASSERT_TRUE(OrderSelect(ticket, SELECT_BY_TICKET, MODE_TRADES));
    EXPECT_NE(OrderCloseTime(), 0);
}

// www.mql5.com/en/docs/trading/historyselect: only deals within the range; TimeCurrent
// (docs.mql4.com/dateandtime/timecurrent) is the last quote's time, still over a weekend.
TEST_F(TerminalDouble, Mql5HistorySelectHonoursItsRangeAndTimeCurrentStandsStill) {
    using namespace mql::mql5;
    term.lastQuote = term.now();
    term.tickCount += 86400 * 1000;
    term.balanceOperation(500.0);
    EXPECT_EQ(TimeCurrent(), term.lastQuote);
    ASSERT_TRUE(HistorySelect(0, TimeCurrent()));
    EXPECT_EQ(HistoryDealsTotal(), 0);
    ASSERT_TRUE(HistorySelect(0, TimeLocal()));
    ASSERT_EQ(HistoryDealsTotal(), 1);
    EXPECT_EQ(HistoryDealGetInteger(HistoryDealGetTicket(0), DEAL_TYPE), DEAL_TYPE_BALANCE);
}

// docs.mql4.com/files/fileopen, filewritestring, filemove: a missing file does not open to read,
// text lines end in CR LF, a move replaces a file only with FILE_REWRITE, a full disk refuses.
TEST_F(TerminalDouble, FilesStayInTheSandboxAndAreReplacedOnlyWhenAsked) {
    using namespace mql::mql4;
    EXPECT_EQ(FileOpen("memo.txt", FILE_READ | FILE_TXT), INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERR_CANNOT_OPEN_FILE);
    for (const char* name : {"memo.txt", "memo.new"}) {
        const int file = FileOpen(name, FILE_WRITE | FILE_TXT | FILE_ANSI);
        ASSERT_NE(file, INVALID_HANDLE);
        EXPECT_EQ(FileWriteString(file, std::string(name) + "\nend\n"), 2u * 2 + 3 + std::string(name).size());
        FileClose(file);
    }
    EXPECT_FALSE(FileMove("memo.new", 0, "memo.txt", 0));
    ASSERT_TRUE(FileMove("memo.new", 0, "memo.txt", FILE_REWRITE));
    const int file = FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_ANSI);
    EXPECT_EQ(FileReadString(file), "memo.new");
    EXPECT_EQ(FileReadString(file), "end");
    EXPECT_TRUE(FileIsEnding(file));
    FileClose(file);
    term.filesWritable = false;
    EXPECT_EQ(FileOpen("memo.txt", FILE_WRITE | FILE_TXT), INVALID_HANDLE);
}

}  // namespace
