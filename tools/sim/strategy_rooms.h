// What the strategies' own files share: each kind's maker and the small pieces several of them use
// (state field names, a position's stop and take profit, a side written as one field).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "account_model.h"
#include "strategies.h"

namespace zt::sim::strategies {

std::unique_ptr<Strategy> MakeGrid(const StrategyOptions& options);
std::unique_ptr<Strategy> MakeMartingale(const StrategyOptions& options);
std::unique_ptr<Strategy> MakeTrend(const StrategyOptions& options);
std::unique_ptr<Strategy> MakeRandom(const StrategyOptions& options);

// prefix + name: a state field's name.
std::string Key(std::string_view prefix, std::string_view name);

// Whether the current quote has reached a position's stop or take profit, each that many points
// from its open price (a take profit of 0: none). A strategy closes at the first tick that is at
// or past the level, at that tick's price, so a gap fills past it as a market order does.
enum class Exit { None, Stop, TakeProfit };
Exit ExitReached(const Position& position, const Quote& quote, double stopPoints, double takeProfitPoints,
                 double point);

// The time before which a strategy that the guard closed out at time does not trade: the re-entry
// delay on, and at least the next tick.
std::int64_t ResumeAfterGuard(std::int64_t time, std::int64_t reentryDelay);

Side Opposite(Side side);

// A side as the field " name=B" or " name=S", and back.
void PutSide(std::string& out, std::string_view name, Side side);
bool TakeSide(std::string_view text, std::string_view name, Side& side);

// A generator's four words as name0..name3, and back.
void PutPrng(std::string& out, std::string_view name, const Prng& prng);
bool TakePrng(std::string_view text, std::string_view name, Prng& prng);

// What a strategy that holds one position at a time (the martingale, the trend follower) keeps
// beside its own rule: whether it holds its position, so that one the broker stopped out is
// noticed as gone, and the time before which it does not trade after the guard's close-all.
struct SinglePosition {
  bool holding = false;
  std::int64_t resumeAt = 0;

  // True when it held a position and the account has none any more: the broker stopped it out.
  // It holds nothing from then on.
  bool StoppedOut(const TradingAccount& account);
  // The guard closed everything at time: nothing held, and no trading before the delay is over.
  void GuardClosed(std::int64_t time, std::int64_t reentryDelay);
  // As the fields prefix + "holding" (1 or 0) and prefix + "resumeAt", and back: both or
  // neither (false, unchanged, when text lacks one).
  void Put(std::string& out, std::string_view prefix) const;
  bool Take(std::string_view text, std::string_view prefix);
};

}  // namespace zt::sim::strategies
