#include "options/bar_walk_options.h"

#include <map>
#include <optional>

#include "market/bar_walk.h"

namespace zt::sim {

// How a bar becomes ticks: a run on bars names both in its record and its identity (the same bars
// walked otherwise are another market); a run without a history neither.
void AddBarWalkOptions(OptionTable& t, const std::string& group, PriceHistoryOptions& h) {
  const auto onHistory = [&h](std::string text) -> std::optional<std::string> {
    if (h.path.empty()) return std::nullopt;
    return text;
  };
  t.Add(group, "--bar-ticks", h.walk.ticks,
        "Ticks a bar of a --history is walked in (0: the bar's tick volume, or one a minute of "
        "its length where the file gives none)")
      .Shown()
      .Whole(0, kMostBarTicks)
      .Identity(kModelIdentity)
      .IdentityText([&h, onHistory] { return onHistory(std::to_string(h.walk.ticks)); })
      .Recorded(onHistory);
  const std::map<std::string, BarPath> paths = {{NameBarPath(BarPath::Walk), BarPath::Walk},
                                                {NameBarPath(BarPath::Worst), BarPath::Worst}};
  t.Add(group, "--bar-path", h.walk.path,
        "How a bar of a --history is walked: walk (a seeded path through its open, high, low and "
        "close) or worst (against the open positions at each bar's open: a bound, not an "
        "estimate)")
      .Identity(kModelIdentity)
      .IdentityText([&h, onHistory] { return onHistory(NameBarPath(h.walk.path)); })
      .Recorded([&h, onHistory](const std::string&) { return onHistory(NameBarPath(h.walk.path)); })
      ->transform(CLI::CheckedTransformer(paths))
      ->option_text("PATH");
}

}  // namespace zt::sim
