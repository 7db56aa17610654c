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

}  // namespace
