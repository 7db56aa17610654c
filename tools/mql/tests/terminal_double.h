// The terminal double held to the reference where a forgiving double would let an EA pass that a
// real terminal fails: the fixture its tests share, a terminal over the real zentravo.so.
#pragma once

#include <gtest/gtest.h>

#include "mql_double.h"

namespace terminal_double {

using namespace mql::shared;

class TerminalDouble : public ::testing::Test {
 protected:
  mql::Terminal term{ZT_LIBRARY_FILE};
};

}  // namespace terminal_double
