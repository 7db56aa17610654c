#include "texts/dashboard.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/guard_state.h"
#include "core/limits.h"
#include "core/text_builder.h"
#include "core/version.h"
#include "platform/platform.h"
#include "texts/time_text.h"

namespace zt::texts {
namespace {

using core::Append;
using core::AppendChar;
using core::AppendFixed;
using core::AppendInt;
using core::AppendPadded;
using core::guard;
using core::kFirstColumnRows;
using core::kSecondColumnRows;
using core::StartText;
using core::TextBuilder;

// Label texts by row. Row 0 of the first column is built (the title), so its entry stays empty.
constexpr std::array<std::string_view, kFirstColumnRows> kFirstColumnLabels = {
    "",
    "",
    "",
    "Take Profit, %, Next Target",
    "Initial / Curr Snapshot",
    "Current Equity, Snap Profit",
    "Equity DD, % DD",
    "Prev Snapshot / Last Eq DD",
    "",
    "Snaps / Avg / Med / Low DD",
    "Lowest DD, %DD",
    "Free Margin, %",
    "Lowest Free Margin, %",
    "Margin Used; Avg Margin %",
    "",
    "Zentravo equity guard",
};

constexpr std::array<std::string_view, kSecondColumnRows> kSecondColumnLabels = {
    "",
    "",
    "Current DD Target; TP",
    "Next DD Target; TP",
    "Current Equity Increase",
    "Next Equity Increase",
    "",
    "",
    "Equity StopLoss",
    "Email EquityIncrease",
    "Email % Margin",
    "Email current DD",
    "Account Leverage",
    "Current Bid/Ask; Spread",
};

// The "C" locale's names, so the title reads the same in every host locale.
constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Same width as a converted time, for a clock the platform cannot convert.
constexpr std::string_view kUnknownTitleTime = "---, --- --, ---- --:--:--";

// A text field of the state up to its NUL, never past the field.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  const void* end = std::memchr(field, '\0', N);
  return {field, end == nullptr ? N : static_cast<std::size_t>(static_cast<const char*>(end) - field)};
}

// position + steps without overflow. Every position past a table or list reads as a missing
// entry, so clamping to one past the longest table changes no reading.
int Ahead(int position, int steps) {
  const long long ahead = static_cast<long long>(position) + steps;
  return ahead > core::kSetPositions ? core::kSetPositions : static_cast<int>(ahead);
}

// The current local time as strftime's "%a, %b %d, %Y %H:%M:%S" writes it in the "C" locale.
void AppendTitleTime(TextBuilder& text) {
  platform::CalendarTime local{};
  if (!CachedLocalTime(platform::Now(), &local) || local.weekday < 0 ||
      local.weekday > 6 || local.month < 1 || local.month > 12) {
    Append(text, kUnknownTitleTime);
    return;
  }
  Append(text, kWeekdays[static_cast<std::size_t>(local.weekday)]);
  Append(text, ", ");
  Append(text, kMonths[static_cast<std::size_t>(local.month - 1)]);
  AppendChar(text, ' ');
  AppendPadded(text, local.day, 2);
  Append(text, ", ");
  AppendInt(text, local.year);
  AppendChar(text, ' ');
  AppendPadded(text, local.hour, 2);
  AppendChar(text, ':');
  AppendPadded(text, local.minute, 2);
  AppendChar(text, ':');
  AppendPadded(text, local.second, 2);
}

// "%0.2f"
void Amount(TextBuilder& text, double value) { AppendFixed(text, value, 2); }

// "%0.2f %%": part as a percentage of whole.
void Percent(TextBuilder& text, double part, double whole) {
  Amount(text, 100.0 * part / whole);
  Append(text, " %");
}

// "[%s]" with TimeText(time).
void BracketedTime(TextBuilder& text, std::int64_t time) {
  char local[kTimeTextSize];
  AppendChar(text, '[');
  Append(text, TimeText(time, local, kTimeTextSize));
  AppendChar(text, ']');
}

// "%0.2f, %0.2f; %0.2f": a drawdown target, its equity level and the take profit beside it, or
// "; --" in place of the take profit when the set holds none there.
void DrawdownTargetRow(TextBuilder& text, double drawdownTarget, double takeProfit) {
  Amount(text, drawdownTarget);
  Append(text, ", ");
  Amount(text, guard.snapshot - drawdownTarget);
  Append(text, "; ");
  if (takeProfit > 0.0) {
    Amount(text, takeProfit);
  } else {
    Append(text, "--");
  }
}

// "%0.2f, (%0.2f)": an increase target and the distance from the equity to it; "--, (--)" when
// there is no target at that position.
void IncreaseTargetRow(TextBuilder& text, double target) {
  if (!(target > 0.0)) {
    Append(text, "--, (--)");
    return;
  }
  Amount(text, target);
  Append(text, ", (");
  Amount(text, target - guard.equity);
  AppendChar(text, ')');
}

// The first column's values, one writer a row; each comment gives the row's format.

// "%0.2f, %0.2f %%, %0.2f": take profit, as % of the snapshot, the level it fires at
void TakeProfitValue(TextBuilder& text) {
  const double takeProfit = core::CurrentTakeProfit();
  Amount(text, takeProfit);
  Append(text, ", ");
  Percent(text, takeProfit, guard.snapshot);
  Append(text, ", ");
  Amount(text, guard.snapshot + takeProfit);
}

// "%0.2f / %0.2f [%s]"
void SnapshotValue(TextBuilder& text) {
  Amount(text, guard.initialEquity);
  Append(text, " / ");
  Amount(text, guard.snapshot);
  AppendChar(text, ' ');
  BracketedTime(text, guard.snapshotTime);
}

// "%0.2f, %0.2f"
void EquityValue(TextBuilder& text) {
  Amount(text, guard.equity);
  Append(text, ", ");
  Amount(text, guard.equity - guard.snapshot);
}

// "%0.2f / %0.2f %% [%s]": amount, as % of whole, when
void AmountPercentTime(TextBuilder& text, double amount, double whole, std::int64_t time) {
  Amount(text, amount);
  Append(text, " / ");
  Percent(text, amount, whole);
  AppendChar(text, ' ');
  BracketedTime(text, time);
}

// Against the snapshot.
void PeriodDrawdownValue(TextBuilder& text) {
  AmountPercentTime(text, guard.periodDrawdown, guard.snapshot, guard.periodDrawdownTime);
}

// "%0.2f [%s] / %0.2f [%s]" once a roll has passed a drawdown on; "- / -" before.
void PreviousCycleValue(TextBuilder& text) {
  if (guard.previousPeriodDrawdownTime <= 0) {
    Append(text, "- / -");
    return;
  }
  Amount(text, guard.previousSnapshot);
  AppendChar(text, ' ');
  BracketedTime(text, guard.previousSnapshotTime);
  Append(text, " / ");
  Amount(text, guard.previousPeriodDrawdown);
  AppendChar(text, ' ');
  BracketedTime(text, guard.previousPeriodDrawdownTime);
}

// "%d / %0.2f / %0.2f / %0.2f" once a cycle is complete.
void CycleStatisticsValue(TextBuilder& text) {
  if (guard.cycleIndex <= 0) {
    Append(text, "0 / - / - / -");
    return;
  }
  AppendInt(text, guard.cycleIndex);
  for (const double drawdown : {guard.averageDrawdown, guard.medianDrawdown, guard.lowestDrawdown}) {
    Append(text, " / ");
    Amount(text, drawdown);
  }
}

// Against the initial equity.
void LowestVsInitialValue(TextBuilder& text) {
  AmountPercentTime(text, guard.lowestVsInitial, guard.initialEquity, guard.lowestVsInitialTime);
}

// "%0.2f, %0.2f %%", against the current equity.
void FreeMarginValue(TextBuilder& text) {
  Amount(text, guard.freeMargin);
  Append(text, ", ");
  Percent(text, guard.freeMargin, guard.equity);
}

// "%0.2f, %0.2f %% [%s]", against the snapshot.
void LowestFreeMarginValue(TextBuilder& text) {
  Amount(text, guard.lowestFreeMargin);
  Append(text, ", ");
  Percent(text, guard.lowestFreeMargin, guard.snapshot);
  AppendChar(text, ' ');
  BracketedTime(text, guard.lowestFreeMarginTime);
}

// "%0.2f; %0.2f" once a cycle is complete.
void CloseMarginValue(TextBuilder& text) {
  if (guard.cycleIndex <= 0) {
    Append(text, "- ; -");
    return;
  }
  Amount(text, guard.lastCloseMargin);
  Append(text, "; ");
  Amount(text, guard.averageCloseMargin);
}

// The writers by row; null where the row has no value (the title, the blank row 8, the notice).
using ValueWriter = void (*)(TextBuilder&);
constexpr std::array<ValueWriter, kFirstColumnRows> kFirstColumnValues = {
    nullptr,              nullptr,          nullptr,         TakeProfitValue,
    SnapshotValue,        EquityValue,      PeriodDrawdownValue, PreviousCycleValue,
    nullptr,              CycleStatisticsValue, LowestVsInitialValue, FreeMarginValue,
    LowestFreeMarginValue, CloseMarginValue, nullptr,         nullptr,
};

void FirstColumnValue(int row, char* out, int capacity) {
  if (row < 0 || row >= kFirstColumnRows) return;
  const ValueWriter write = kFirstColumnValues[static_cast<std::size_t>(row)];
  if (write == nullptr) return;
  TextBuilder text = StartText(out, capacity);
  write(text);
}

// The take profit beside a drawdown target is one position further on than the target: it is
// the take profit that becomes current when the target is reached, since a drawdown step
// advances both positions together.
void SecondColumnValue(int row, char* out, int capacity) {
  if (row != 2 && row != 3 && row != 4 && row != 5 && row != 8 && row != 11) return;
  TextBuilder text = StartText(out, capacity);
  switch (row) {
    case 2:  // the current drawdown target is shown even when the set holds none (0.00)
      DrawdownTargetRow(text, core::CurrentDrawdownTarget(),
                        core::TableAt(guard.takeProfitTable, guard.tpSet, Ahead(guard.tpIndex, 1)));
      break;
    case 3: {
      const double next = core::TableAt(guard.drawdownTable, guard.ddSet, Ahead(guard.ddIndex, 1));
      if (next > 0.0) {
        DrawdownTargetRow(text, next,
                          core::TableAt(guard.takeProfitTable, guard.tpSet, Ahead(guard.tpIndex, 2)));
      } else {
        Append(text, "--, --; --");
      }
      break;
    }
    case 4:
      IncreaseTargetRow(text, core::ListAt(guard.increaseTargets, guard.increaseIndex));
      break;
    case 5:
      IncreaseTargetRow(text, core::ListAt(guard.increaseTargets, Ahead(guard.increaseIndex, 1)));
      break;
    case 8:  // "%0.2f": the stop-loss equity level
      Amount(text, guard.snapshot - core::CurrentStopLoss());
      break;
    default:  // 11: "%0.2f; %0.2f": the host's e-mail drawdown and its equity level
      Amount(text, guard.emailDrawdown);
      Append(text, "; ");
      Amount(text, guard.snapshot - guard.emailDrawdown);
      break;
  }
}

// The notice line's slot on a terminal's panel: 63 characters.
constexpr std::size_t kNoticeSlot = 63;
constexpr int kNoticeRow = kFirstColumnRows - 1;

// A file's name, for a notice that names it: what follows the last separator of its path.
std::string_view FileNameOf(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// piece, cut to room bytes on a whole UTF-8 character.
std::string_view CutToFit(std::string_view piece, std::size_t room) {
  if (piece.size() <= room) return piece;
  while (room > 0 && (static_cast<unsigned char>(piece[room]) & 0xC0) == 0x80) --room;
  return piece.substr(0, room);
}

// Row 15 of column 0: the notice line. The trader reads here whether the guard's files are being
// saved: the maker's line while they are, otherwise the trouble in a few words, settings before
// statistics (a lost position matters more than a lost report).
// A start that could not read the settings file it found began from the host's equity: said
// while no write trouble is newer news. What became of that file once it could be read is said
// until the next start while nothing newer is: where its values were kept (before the statistics
// trouble: the trader must know where the history went), or that they were resumed late.
void NoticeLine(TextBuilder& text) {
  std::string_view notice = kFirstColumnLabels[static_cast<std::size_t>(kNoticeRow)];
  const core::Persistence& persistence = guard.persistence;
  core::SettingsTrouble trouble = persistence.settings;
  if (trouble == core::SettingsTrouble::none) {
    switch (persistence.startRead) {
      case core::SettingsTrouble::locked:
        Append(text, "Started without saved settings: file locked");
        return;
      case core::SettingsTrouble::failed:
        Append(text, "Started without saved settings: file unreadable");
        return;
      default:
        trouble = persistence.startRead;  // too large, UTF-16: as for a write
        break;
    }
  }
  switch (trouble) {
    case core::SettingsTrouble::none:
      if (persistence.lateRead == core::LateRead::setAside && persistence.unreadCopy[0] != '\0') {
        constexpr std::string_view kKept = "Unread settings kept in ";
        Append(text, kKept);
        Append(text, CutToFit(FileNameOf(FieldText(persistence.unreadCopy)),
                              kNoticeSlot - kKept.size()));
        return;
      }
      if (persistence.statisticsUnwritten) {
        notice = "Statistics file not written";
      } else if (persistence.lateRead == core::LateRead::resumed) {
        notice = "Saved settings resumed late, once the file could be read";
      }
      break;
    case core::SettingsTrouble::noLocation:
      notice = "Settings not saved: library folder unknown";
      break;
    case core::SettingsTrouble::locked:
      notice = "Settings pending: file locked";
      break;
    case core::SettingsTrouble::readOnly:
      notice = "Settings not saved: read-only";
      break;
    case core::SettingsTrouble::noPermission:
      notice = "Settings not saved: no permission";
      break;
    case core::SettingsTrouble::tooLarge: {
      constexpr std::string_view kTooLarge = "Settings not saved, file too large: ";
      Append(text, kTooLarge);
      Append(text, CutToFit(FileNameOf(FieldText(guard.settingsPath)), kNoticeSlot - kTooLarge.size()));
      return;
    }
    case core::SettingsTrouble::foreignText:
      notice = "Settings not saved: UTF-16 file left as it is";
      break;
    case core::SettingsTrouble::failed:
      notice = "Settings not saved";
      break;
  }
  Append(text, notice);
}

}  // namespace

void WriteLabel(int row, int column, char* out, int capacity) {
  TextBuilder text = StartText(out, capacity);
  if (column == 0) {
    if (row == 0) {
      // "Zentravo - 3.0 (%s) %s"
      Append(text, core::kTitleStart);
      Append(text, FieldText(guard.hostTag));
      Append(text, ") ");
      AppendTitleTime(text);
    } else if (row == kNoticeRow) {
      NoticeLine(text);
    } else if (row > 0 && row < kFirstColumnRows) {
      Append(text, kFirstColumnLabels[static_cast<std::size_t>(row)]);
    }
  } else if (row >= 0 && row < kSecondColumnRows) {
    Append(text, kSecondColumnLabels[static_cast<std::size_t>(row)]);
  }
}

void WriteValue(int row, int column, char* out, int capacity) {
  if (guard.snapshot == 0.0 || guard.equity == 0.0 || guard.initialEquity == 0.0) return;
  if (column == 0) {
    FirstColumnValue(row, out, capacity);
  } else {
    SecondColumnValue(row, out, capacity);
  }
}

}  // namespace zt::texts
