#include "settings/settings_store.h"

#include <array>

#include "core/amounts.h"
#include "core/guard_state.h"
#include "core/text_builder.h"
#include "settings/settings_path.h"

namespace zt::settings {

int detail::heldWriteCount = 0;

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
    case platform::FileProblem::noPermission:
      return core::SettingsTrouble::noPermission;
    case platform::FileProblem::tooLarge:
      return core::SettingsTrouble::tooLarge;
    case platform::FileProblem::foreignText:
      return core::SettingsTrouble::foreignText;
    case platform::FileProblem::exists:
    case platform::FileProblem::failed:
      break;
  }
  return core::SettingsTrouble::failed;
}

// Writes not yet in the file: one per key, in the order of each key's first write, holding its
// newest value. Replacing a key's value in place leaves the file as the writes one by one would,
// since a second write of a key changes only its value. The guard writes eight keys.
constexpr int kPendingCapacity = 8;

struct PendingWrite {
  std::string_view section;  // one of the section constants
  std::string_view key;      // one of the key constants
  int length;
  char value[kAmountTextSize];
};

std::array<PendingWrite, kPendingCapacity> pending;
int& pendingCount = detail::heldWriteCount;
// The pending writes already met a locked file once: later tries do not wait for it again.
bool retrying = false;

// The newest value of each key that this process's commits have put into the file. Writes that
// only repeat them, like the positions written again at every close-all, most likely change
// nothing; the commit then first looks at the file without the lock.
std::array<PendingWrite, kPendingCapacity> landed;
int landedCount = 0;

PendingWrite* WriteOf(std::array<PendingWrite, kPendingCapacity>& writes, int count,
                      std::string_view section, std::string_view key) {
  for (int i = 0; i < count; ++i) {
    PendingWrite& write = writes[static_cast<unsigned>(i)];
    if (write.section == section && write.key == key) return &write;
  }
  return nullptr;
}

PendingWrite* PendingOf(std::string_view section, std::string_view key) {
  return WriteOf(pending, pendingCount, section, key);
}

std::string_view ValueOf(const PendingWrite& write) {
  return std::string_view(write.value, static_cast<std::size_t>(write.length));
}

bool RepeatsLanded() {
  for (int i = 0; i < pendingCount; ++i) {
    const PendingWrite& write = pending[static_cast<unsigned>(i)];
    const PendingWrite* known = WriteOf(landed, landedCount, write.section, write.key);
    if (known == nullptr || ValueOf(*known) != ValueOf(write)) return false;
  }
  return true;
}

void RememberLanded() {
  for (int i = 0; i < pendingCount; ++i) {
    const PendingWrite& write = pending[static_cast<unsigned>(i)];
    PendingWrite* known = WriteOf(landed, landedCount, write.section, write.key);
    if (known == nullptr) {
      if (landedCount == kPendingCapacity) continue;
      known = &landed[static_cast<unsigned>(landedCount++)];
    }
    *known = write;
  }
}

// Every write of the file goes through here: it joins the writes of this export call, which
// CommitWrites puts into the file together.
void Store(std::string_view section, const settings::ProfileEntry* entries, int count) {
  if (!Persisting()) {
    core::guard.persistence.settings = core::SettingsTrouble::noLocation;
    return;
  }
  for (int i = 0; i < count; ++i) {
    PendingWrite* write = PendingOf(section, entries[i].key);
    if (write == nullptr) {
      if (pendingCount == kPendingCapacity) continue;  // a ninth key: the guard has none
      write = &pending[static_cast<unsigned>(pendingCount++)];
      write->section = section;
      write->key = entries[i].key;
    }
    const std::string_view value = entries[i].value.substr(0, kAmountTextSize - 1);
    value.copy(write->value, value.size());
    write->length = static_cast<int>(value.size());
  }
}

void WriteIndexEntries(const settings::ProfileEntry* entries, int count) {
  Store(kIndexSection, entries, count);
}

// A value written but not yet in the file reads as the file will give it back.
bool ReadPending(std::string_view section, std::string_view key, char* out) {
  const PendingWrite* write = PendingOf(section, key);
  if (write == nullptr) return false;
  settings::ReadBackValue(std::string_view(write->value, static_cast<std::size_t>(write->length)),
                          out);
  return true;
}

// A copy of the unread file is due, named for the moment unreadCopyTime ("YYYY.MM.DD hh:mm").
constexpr std::size_t kLocalTimeSize = 17;
bool unreadCopyDue = false;
char unreadCopyTime[kLocalTimeSize];
constexpr int kCopyNameAttempts = 100;

// Copies the unread file when that is due, before any write goes over it. False while the copy
// cannot be made (problem says why): the writes stay held.
bool UnreadFileKept(int waitMs, platform::FileProblem& problem) {
  if (!unreadCopyDue) return true;
  char* const copy = core::guard.persistence.unreadCopy;
  // Only a name already taken moves on to the next, as for the statistics files.
  for (int attempt = 1; attempt <= kCopyNameAttempts; ++attempt) {
    SideFilePath(copy, "unread", unreadCopyTime, attempt, kSettingsExtension);
    const bool copied = settings::CopyProfile(Path(), copy, &problem, waitMs);
    if (copied || problem == platform::FileProblem::none) {  // none: no file is left to keep
      if (!copied) copy[0] = '\0';
      unreadCopyDue = false;
      return true;
    }
    if (problem != platform::FileProblem::exists) break;
  }
  copy[0] = '\0';
  return false;
}

// The held writes, in one rewrite that waits at most waitMs in all.
void Commit(int waitMs) {
  if (!Persisting()) {
    pendingCount = 0;
    retrying = false;
    return;
  }
  if (core::guard.persistence.startRead != core::SettingsTrouble::none) return;
  platform::FileProblem problem = platform::FileProblem::none;
  if (!UnreadFileKept(waitMs, problem)) {
    retrying = true;
    core::guard.persistence.settings = TroubleOf(problem);
    return;
  }
  std::array<settings::ProfileWrite, kPendingCapacity> writes;
  for (int i = 0; i < pendingCount; ++i) {
    const PendingWrite& write = pending[static_cast<unsigned>(i)];
    writes[static_cast<unsigned>(i)] = {write.section, {write.key, ValueOf(write)}};
  }
  const settings::WriteManner manner{waitMs, RepeatsLanded()};
  if (settings::WriteProfile(Path(), writes.data(), pendingCount, &problem, manner)) {
    RememberLanded();
    pendingCount = 0;
  }
  retrying = pendingCount > 0;
  core::guard.persistence.settings = TroubleOf(problem);
}

}  // namespace

void CommitHeldWrites() { Commit(retrying ? 0 : platform::kUsualWaitMs); }

void CommitBeforeUnload() {
  if (detail::heldWriteCount > 0) Commit(kUnloadWaitMs);
}

void ForgetWrites() {
  pendingCount = 0;
  landedCount = 0;
  retrying = false;
  unreadCopyDue = false;
}

bool StoredFileReadable() {
  return !Persisting() || settings::ProfileReadable(Path()) == platform::FileProblem::none;
}

void KeepUnreadFile(std::string_view localTime) {
  const std::string_view time = localTime.substr(0, kLocalTimeSize - 1);
  time.copy(unreadCopyTime, time.size());
  unreadCopyTime[time.size()] = '\0';
  unreadCopyDue = true;
  core::guard.persistence.unreadCopy[0] = '\0';
}

core::SettingsTrouble ReadAmountText(std::string_view key, char* out, int waitMs) {
  if (ReadPending(kSnapSection, key, out)) return core::SettingsTrouble::none;
  platform::FileProblem problem = platform::FileProblem::none;
  settings::ReadProfileString(Persisting() ? Path() : "", kSnapSection, key, "0", out, &problem,
                              waitMs);
  return TroubleOf(problem);
}

double ReadAmount(std::string_view key, core::SettingsTrouble* trouble) {
  char text[settings::kProfileValueCapacity];
  const core::SettingsTrouble met = ReadAmountText(key, text);
  if (trouble != nullptr) *trouble = met;
  return core::ParseAmount(text);
}

int ReadIndex(std::string_view key, core::SettingsTrouble* trouble) {
  char text[settings::kProfileValueCapacity];
  if (trouble != nullptr) *trouble = core::SettingsTrouble::none;
  if (ReadPending(kIndexSection, key, text)) return settings::IntegerOfValue(text, 0);
  platform::FileProblem problem = platform::FileProblem::none;
  const int value =
      settings::ReadProfileInt(Persisting() ? Path() : "", kIndexSection, key, 0, &problem);
  if (trouble != nullptr) *trouble = TroubleOf(problem);
  return value;
}

void WriteAmountText(std::string_view key, std::string_view text) {
  const settings::ProfileEntry entry{key, text};
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
  const IndexText increaseIndex = FormatIndex(guard.increaseIndex);
  const IndexText stopLossIndex = FormatIndex(guard.stopLossIndex);
  const settings::ProfileEntry entries[] = {{kTakeProfitSetKey, ViewOf(tpSet)},
                                            {kDrawdownSetKey, ViewOf(ddSet)},
                                            {kTakeProfitIndexKey, ViewOf(tpIndex)},
                                            {kDrawdownIndexKey, ViewOf(ddIndex)},
                                            {kIncreaseIndexKey, ViewOf(increaseIndex)},
                                            {kStopLossIndexKey, ViewOf(stopLossIndex)}};
  WriteIndexEntries(entries, 6);
}

void WriteLastValues(double snapshot, int tpSet, int tpIndex, int ddSet, int ddIndex) {
  // Over a file the start could not read, the host's values would replace values nobody has
  // read: like a decision of the guard's, they have the file kept whole beside it first.
  core::Persistence& persistence = core::guard.persistence;
  if (persistence.startRead != core::SettingsTrouble::none) persistence.decidedUnread = true;
  if (core::IsUsableEquity(snapshot)) WriteAmount(kEquitySnapKey, snapshot);
  const IndexText tpSetText = FormatIndex(tpSet);
  const IndexText tpIndexText = FormatIndex(tpIndex);
  const IndexText ddSetText = FormatIndex(ddSet);
  const IndexText ddIndexText = FormatIndex(ddIndex);
  const IndexText first = FormatIndex(0);
  const settings::ProfileEntry entries[] = {{kTakeProfitSetKey, ViewOf(tpSetText)},
                                            {kTakeProfitIndexKey, ViewOf(tpIndexText)},
                                            {kDrawdownSetKey, ViewOf(ddSetText)},
                                            {kDrawdownIndexKey, ViewOf(ddIndexText)},
                                            {kIncreaseIndexKey, ViewOf(first)},
                                            {kStopLossIndexKey, ViewOf(first)}};
  WriteIndexEntries(entries, 6);
}

}  // namespace zt::settings
