// The broker's server time. Terminals export bars, ticks and deals in the trade server's clock,
// which most brokers set to UTC+2 in winter and UTC+3 in summer (Eastern European time with its
// daylight saving, so that the server's midnight falls at the New York close); others keep a fixed
// offset. The lab counts in UTC: an export's times are moved back by the offset as they are read,
// so that the rollovers (and the swap they book) and the report's dates fall where they did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt::sim {

struct ServerOffset {
  std::int64_t seconds = 0;  // server time - UTC, when eet is false
  bool eet = false;          // UTC+2, and UTC+3 from the last Sunday of March 01:00 UTC to that of
                             // October
};

// "0", "3", "-5", "5.5" (hours, a whole number of minutes, -14 to 14) or "eet"; empty otherwise.
std::optional<ServerOffset> ParseServerOffset(std::string_view text);

// The UTC moment of a time the server's clock wrote. The daylight saving changes fall on Sunday
// mornings, while the market is closed, so no hour a history holds is read twice.
std::int64_t ServerToUtc(std::int64_t serverTime, const ServerOffset& offset);

}  // namespace zt::sim
