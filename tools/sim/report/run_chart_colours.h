// The colours of a run's chart, which its equity panel and its cycle panel share.
#pragma once

namespace zt::sim::svg {

inline constexpr const char* kEquityColour = "#1f5fa8";
inline constexpr const char* kUnguardedColour = "#8a8a8a";
inline constexpr const char* kSnapshotColour = "#555555";
inline constexpr const char* kTakeProfitColour = "#2e9e44";
inline constexpr const char* kDrawdownColour = "#e08a00";
inline constexpr const char* kStopLossColour = "#d0302b";
inline constexpr const char* kIncreaseColour = "#8a3ffc";

}  // namespace zt::sim::svg
