#include "figures/sampled_curves.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "figures/risk_figures.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

// curve's equity at each of times: the last point at or before it (the first point before the
// curve starts). times ascending, curve in time order.
std::vector<double> ReadAt(const std::vector<EquityPoint>& curve,
                           const std::vector<std::int64_t>& times) {
  std::vector<double> values;
  if (curve.empty()) return values;
  values.reserve(times.size());
  std::size_t at = 0;
  for (const std::int64_t time : times) {
    while (at + 1 < curve.size() && curve[at + 1].time <= time) ++at;
    values.push_back(curve[at].equity);
  }
  return values;
}

Json CentsList(const std::vector<double>& values) {
  Json list = Json::array();
  for (const double value : values) list.push_back(std::llround(value * 100.0));
  return list;
}

std::vector<double> AmountsOf(const Json& list) {
  std::vector<double> values;
  for (const Json& cents : list) values.push_back(cents.get<double>() / 100.0);
  return values;
}

}  // namespace

SampledCurves SampleCurves(const HostRun& run, std::size_t moments) {
  SampledCurves out;
  if (run.equity.empty() || moments == 0) return out;
  const std::int64_t first = run.equity.front().time;
  const std::int64_t last = run.equity.back().time;
  const std::size_t count = last > first ? moments : 1;
  for (std::size_t i = 0; i < count; ++i) {
    // Whole seconds; the last moment is the run's last point exactly.
    const double share = count > 1 ? static_cast<double>(i) / static_cast<double>(count - 1) : 0.0;
    out.times.push_back(first + std::llround(share * static_cast<double>(last - first)));
  }
  out.guarded = ReadAt(run.equity, out.times);
  out.unguarded = ReadAt(run.unguarded, out.times);
  return out;
}

nlohmann::ordered_json CurvesToJson(const SampledCurves& curves) {
  return Json{{"times", curves.times},
              {"withGuard", CentsList(curves.guarded)},
              {"withoutGuard", CentsList(curves.unguarded)}};
}

SampledCurves ReadSampledCurves(const std::string& runJson) {
  SampledCurves out;
  try {
    const Json json = Json::parse(runJson);
    if (!json.contains("curve")) return out;
    const Json& curve = json.at("curve");
    out.times = curve.at("times").get<std::vector<std::int64_t>>();
    out.guarded = AmountsOf(curve.at("withGuard"));
    out.unguarded = AmountsOf(curve.at("withoutGuard"));
  } catch (const Json::exception& error) {
    throw std::runtime_error("its curve cannot be read (" + std::string(error.what()) + ")");
  }
  if (out.guarded.size() != out.times.size() ||
      (!out.unguarded.empty() && out.unguarded.size() != out.times.size())) {
    throw std::runtime_error("its curve has not one value per moment");
  }
  return out;
}

CurveBand MeasureBand(const std::vector<std::vector<double>>& runs) {
  CurveBand band;
  std::size_t moments = 0;
  for (const std::vector<double>& run : runs) moments = std::max(moments, run.size());
  std::vector<double> column;
  for (std::size_t i = 0; i < moments; ++i) {
    column.clear();
    for (const std::vector<double>& run : runs) {
      if (!run.empty()) column.push_back(run[std::min(i, run.size() - 1)]);
    }
    band.median.push_back(Percentile(column, 0.5));
    band.low.push_back(Percentile(column, 0.05));
    band.high.push_back(Percentile(column, 0.95));
  }
  return band;
}

}  // namespace zt::sim
