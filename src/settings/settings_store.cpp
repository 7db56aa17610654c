#include "settings/settings_store.h"

#include "core/amounts.h"
#include "core/guard_state.h"
#include "core/text_builder.h"

namespace zt::settings {
namespace {

// "%0.2f" of the largest double is 312 characters; "%d" at most 11.
constexpr int kAmountTextSize = 330;
constexpr int kIndexTextSize = 16;

const char* Path() { return core::guard.settingsPath; }
bool Persisting() { return core::guard.settingsPath[0] != '\0'; }

struct IndexText {
  char text[kIndexTextSize];
};

IndexText FormatIndex(int value) {
  IndexText out{};
  core::TextBuilder builder = core::StartText(out.text, kIndexTextSize);
  core::AppendInt(builder, value);
  return out;
}

std::string_view ViewOf(const IndexText& index) { return std::string_view(index.text); }

core::SettingsTrouble TroubleOf(platform::FileProblem problem) {
  switch (problem) {
    case platform::FileProblem::none:
      return core::SettingsTrouble::none;
    case platform::FileProblem::locked:
      return core::SettingsTrouble::locked;
    case platform::FileProblem::readOnly:
      return core::SettingsTrouble::readOnly;
    case platform::FileProblem::tooLarge:
      return core::SettingsTrouble::tooLarge;
    case platform::FileProblem::foreignText:
      return core::SettingsTrouble::foreignText;
    case platform::FileProblem::failed:
      break;
  }
  return core::SettingsTrouble::failed;
}

// Every write of the file goes through here, and leaves what became of it for the notice line.
void Store(std::string_view section, const platform::ProfileEntry* entries, int count) {
  if (!Persisting()) {
    core::guard.persistence.settings = core::SettingsTrouble::noLocation;
    return;
  }
  platform::FileProblem problem = platform::FileProblem::none;
  platform::WriteProfileStrings(Path(), section, entries, count, &problem);
  core::guard.persistence.settings = TroubleOf(problem);
}

void WriteIndexEntries(const platform::ProfileEntry* entries, int count) {
  Store(kIndexSection, entries, count);
}

}  // namespace

void ReadAmountText(std::string_view key, char* out) {
  platform::ReadProfileString(Persisting() ? Path() : "", kSnapSection, key, "0", out);
}

double ReadAmount(std::string_view key) {
  char text[platform::kProfileValueCapacity];
  ReadAmountText(key, text);
  return core::ParseAmount(text);
}

int ReadIndex(std::string_view key) {
  return platform::ReadProfileInt(Persisting() ? Path() : "", kIndexSection, key, 0);
}

void WriteAmountText(std::string_view key, std::string_view text) {
  const platform::ProfileEntry entry{key, text};
  Store(kSnapSection, &entry, 1);
}

void WriteAmount(std::string_view key, double amount) {
  char text[kAmountTextSize];
  core::TextBuilder builder = core::StartText(text, kAmountTextSize);
  core::AppendFixed(builder, amount, 2);
  WriteAmountText(key, core::View(builder));
}

void WriteIndices() {
  const core::GuardState& guard = core::guard;
  const IndexText tpSet = FormatIndex(guard.tpSet);
  const IndexText ddSet = FormatIndex(guard.ddSet);
  const IndexText tpIndex = FormatIndex(guard.tpIndex);
  const IndexText ddIndex = FormatIndex(guard.ddIndex);
  const platform::ProfileEntry entries[] = {{kTakeProfitSetKey, ViewOf(tpSet)},
                                            {kDrawdownSetKey, ViewOf(ddSet)},
                                            {kTakeProfitIndexKey, ViewOf(tpIndex)},
                                            {kDrawdownIndexKey, ViewOf(ddIndex)}};
  WriteIndexEntries(entries, 4);
}

void WriteLastValues(double snapshot, int tpSet, int tpIndex, int ddSet, int ddIndex) {
  if (core::IsUsableEquity(snapshot)) WriteAmount(kEquitySnapKey, snapshot);
  const IndexText tpSetText = FormatIndex(tpSet);
  const IndexText tpIndexText = FormatIndex(tpIndex);
  const IndexText ddSetText = FormatIndex(ddSet);
  const IndexText ddIndexText = FormatIndex(ddIndex);
  const platform::ProfileEntry entries[] = {{kTakeProfitSetKey, ViewOf(tpSetText)},
                                            {kTakeProfitIndexKey, ViewOf(tpIndexText)},
                                            {kDrawdownSetKey, ViewOf(ddSetText)},
                                            {kDrawdownIndexKey, ViewOf(ddIndexText)}};
  WriteIndexEntries(entries, 4);
}

}  // namespace zt::settings
