// The terminal double's own services held to the reference: pushes and mail, global variables,
// the last error, code pages, the account's properties, timers, DLL imports and deinitialisation.
// Each behaviour names its reference page.
#include "terminal_double.h"

namespace terminal_double {
namespace {

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

}  // namespace
}  // namespace terminal_double
