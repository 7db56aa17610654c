// What the strategies' own files are built from: the strategy table's row and the small pieces
// several of them use (state field names, a position's stop and take profit, a side written as
// one field).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "market/account_model.h"
#include "market/state_text.h"
#include "trading/strategies.h"
#include "trading/strategy_table.h"

namespace zt::sim::strategies {

// A strategy of type S, made from its options (a row's maker).
template <typename S>
std::unique_ptr<Strategy> MakeOne(const StrategyOptions& options, const OwnOptions& own) {
  return std::make_unique<S>(options, own);
}

// Whether the current quote has reached a position's stop or take profit, each that many points
// from its open price (a take profit of 0: none). A strategy closes at the first tick that is at
// or past the level, at that tick's price, so a gap fills past it as a market order does.
enum class Exit { None, Stop, TakeProfit };
Exit CheckExit(const Position& position, const Quote& quote, double stopPoints,
               double takeProfitPoints, double point);

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

// "1.10012/1.10020": bar closes as one field's value ("" for none), and back.
void PutCloses(std::string& out, std::string_view name, const std::vector<double>& closes);
bool TakeCloses(std::string_view text, std::string_view name, std::vector<double>& closes);

// One field of a strategy's state: its name and the member it is written from and read into.
template <typename T>
struct StateField {
  std::string_view name;
  T& value;
};
template <typename T>
StateField<T> Field(std::string_view name, T& value) {
  return {name, value};
}

// The kinds of value a state field holds: a number, a side, bar closes.
inline void PutValue(std::string& out, std::string_view name, Side side) {
  PutSide(out, name, side);
}
inline void PutValue(std::string& out, std::string_view name, const std::vector<double>& closes) {
  PutCloses(out, name, closes);
}
template <typename T>
void PutValue(std::string& out, std::string_view name, T number) {
  PutField(out, name, number);
}
inline bool TakeValue(std::string_view text, std::string_view name, Side& side) {
  return TakeSide(text, name, side);
}
inline bool TakeValue(std::string_view text, std::string_view name, std::vector<double>& closes) {
  return TakeCloses(text, name, closes);
}
template <typename T>
bool TakeValue(std::string_view text, std::string_view name, T& number) {
  return TakeField(text, name, number);
}

// A strategy that holds one position at a time writes its own fields, then what it holds, as the
// fields prefix + name: one list of fields serves Format and Parse, so the two cannot drift apart.
template <typename... T>
std::string FormatHolding(std::string_view prefix, const SinglePosition& held,
                          StateField<T>... fields) {
  std::string out;
  (PutValue(out, NameField(prefix, fields.name), fields.value), ...);
  held.Put(out, prefix);
  return out;
}
// Reads them back; false at the first one text lacks (the fields before it may have been read,
// so a strategy reads into a copy of itself).
template <typename... T>
bool ParseHolding(std::string_view text, std::string_view prefix, SinglePosition& held,
                  StateField<T>... fields) {
  return (TakeValue(text, NameField(prefix, fields.name), fields.value) && ...) &&
         held.Take(text, prefix);
}

}  // namespace zt::sim::strategies
