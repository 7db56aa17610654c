// Equity curves small enough to carry between runs and to draw on a page: a run's curves with and
// without the guard, read at a fixed number of moments evenly spread over the run. Many runs of
// the same length meet at the same moments, so a ladder's curves over many markets are summed up
// moment by moment: the median and the band from the 5th to the 95th percentile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "host/host_driver.h"

namespace zt::sim {

// Moments a carried curve keeps: more than a printed page's chart has columns to show.
constexpr std::size_t kSampledMoments = 480;

// A run's equity at evenly spread moments, with the guard and without it (empty when the run
// does not know the account without the guard).
struct SampledCurves {
  std::vector<std::int64_t> times;  // seconds since 1970 (UTC), ascending
  std::vector<double> guarded;      // equity at each time: the last tick at or before it
  std::vector<double> unguarded;
};

// run's curves read at moments evenly spread from its first point to its last (one moment for a
// run of one point; nothing for an empty run).
SampledCurves SampleCurves(const HostRun& run, std::size_t moments = kSampledMoments);

// As the "curve" member of a run's JSON, amounts in whole cents; and back from a run's whole JSON
// document (empty when it holds none). Read throws std::runtime_error on a malformed member.
nlohmann::ordered_json CurvesToJson(const SampledCurves& curves);
SampledCurves ReadSampledCurves(const std::string& runJson);

// The median, 5th and 95th percentile moment by moment of runs (each one curve of the same
// length; shorter ones are read at their last value).
struct CurveBand {
  std::vector<double> median, low, high;
};
CurveBand MeasureBand(const std::vector<std::vector<double>>& runs);

}  // namespace zt::sim
