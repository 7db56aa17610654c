// Hostile and broken input: amounts no account can have, settings files that another program, a
// crash or a careless hand left behind, folders the library cannot write, and texts far beyond any
// sensible size. Each case names its input and the sound outcome the host may rely on; the input
// and the expectation are plain data, so that a call script can replay the same table.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "settings/settings_path.h"
#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "platform/platform.h"
#include "settings/profile_store.h"
#include "test_support.h"
#include "zentravo.h"

namespace zt {
namespace {

using core::guard;
using testing::FreshGuard;
using testing::HostBuffer;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDenormal = 4.9406564584124654e-324;
constexpr std::size_t kMegabyte = std::size_t{1} << 20;

// The targets of the typical cycle: stop loss 100, take profit 50, first drawdown target 20.
constexpr const char* kTakeProfits = "50,30;80,60";
constexpr const char* kDrawdowns = "20,40;25,50";
constexpr const char* kIncreases = "1100,1200";
constexpr const char* kStopLosses = "100,150";

double Start(double equity, double margin = 0, double freeMargin = 1000, const char* tag = "EA-1",
             const char* takeProfits = kTakeProfits, const char* drawdowns = kDrawdowns) {
  double initial = 0.0;
  return InitZT(0, tag, &initial, equity, margin, freeMargin, takeProfits, drawdowns, kIncreases,
                kStopLosses);
}

std::string Setting(const std::string& path, const char* section, const char* key) {
  char out[settings::kProfileValueCapacity];
  settings::ReadProfileString(path.c_str(), section, key, "(missing)", out);
  return out;
}

// Every text the host can ask for, each into a fresh host buffer: terminated within the capacity
// and nothing written past it, whatever the state holds.
void ExpectEveryTextBounded(const std::string& when) {
  auto check = [&](const char* what, int a, int b, auto write) {
    HostBuffer buffer;
    write(buffer.data());
    ASSERT_TRUE(buffer.GuardIntact()) << when << ": " << what << " " << a << "," << b;
    if (!buffer.Untouched()) {
      ASSERT_NE(std::memchr(buffer.data(), '\0', ZT_TEXT_CAPACITY), nullptr)
          << when << ": " << what << " " << a << "," << b;
    }
  };
  for (int kind = -1; kind <= 5; ++kind) {
    check("GetAlert", kind, 0, [&](char* out) { GetAlert(kind, out); });
    check("GetEmailSubject", kind, 0, [&](char* out) { GetEmailSubject(kind, out); });
    for (int part = -1; part <= 6; ++part) {
      check("GetEmailText", part, kind, [&](char* out) { GetEmailText(part, kind, 1100, out); });
    }
  }
  for (int column = -1; column <= 2; ++column) {
    for (int row = -1; row <= 16; ++row) {
      check("GetLabel", row, column, [&](char* out) { GetLabel(row, column, out); });
      check("GetValue", row, column, [&](char* out) { GetValue(row, column, out); });
    }
  }
}

void ExpectPositionsInTheirTables() {
  EXPECT_GE(guard.tpSet, 0);
  EXPECT_LT(guard.tpSet, core::kTargetSets);
  EXPECT_GE(guard.ddSet, 0);
  EXPECT_LT(guard.ddSet, core::kTargetSets);
  EXPECT_GE(guard.tpIndex, 0);
  EXPECT_LT(guard.tpIndex, core::kSetPositions);
  EXPECT_GE(guard.ddIndex, 0);
  EXPECT_LT(guard.ddIndex, core::kSetPositions);
}

class HostileTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshGuard(folder); }
  std::string Ini() const { return folder.File("zentravo.ini"); }
  TempFolder folder;
};

// ---- Absurd amounts in every call -----------------------------------------------------------

struct AmountCase {
  const char* name;
  double amount;
  bool usableEquity;  // finite and greater than 0: the guard may take it as an equity
};

class AbsurdAmount : public HostileTest, public ::testing::WithParamInterface<AmountCase> {};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_P(AbsurdAmount, AsEquityAtStartOnlyAUsableOneStartsTheGuard) {
  const AmountCase& c = GetParam();
  double initial = 0.0;
  const double snapshot = InitZT(0, "EA", &initial, c.amount, 0, 0, kTakeProfits, kDrawdowns,
                                 kIncreases, kStopLosses);
  if (c.usableEquity) {
    EXPECT_EQ(snapshot, c.amount);
    EXPECT_EQ(initial, c.amount);
    EXPECT_NE(Setting(Ini(), "SNAP", "Initial Equity"), "(missing)");
  } else {
    EXPECT_EQ(snapshot, 0.0);
    EXPECT_EQ(initial, 0.0);
    EXPECT_FALSE(testing::FileExists(Ini())) << "a start that failed touched the settings file";
  }
  ExpectEveryTextBounded(c.name);
}

TEST_P(AbsurdAmount, AsMarginAndFreeMarginIsStoredAsGiven) {
  const AmountCase& c = GetParam();
  ASSERT_EQ(Start(1000, c.amount, c.amount), 1000.0);
  EXPECT_TRUE(SameBits(guard.margin, c.amount));
  EXPECT_TRUE(SameBits(guard.lowestFreeMargin, c.amount));
  EXPECT_EQ(SetEquity(1000, c.amount, c.amount, 0), ZT_NO_ACTION);  // between SL and TP
  EXPECT_TRUE(SameBits(guard.freeMargin, c.amount));
  // A take profit records the absurd margin in the cycle's slot; the summaries follow it.
  EXPECT_EQ(SetEquity(1050, c.amount, c.amount, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_TRUE(SameBits(guard.marginAtClose[0], c.amount));
  ExpectEveryTextBounded(c.name);
}

TEST_P(AbsurdAmount, AsEquityInBothModesIsTakenOnlyWhenUsable) {
  const AmountCase& c = GetParam();
  ASSERT_EQ(Start(1000), 1000.0);
  for (int mode : {0, 1}) {
    const core::GuardState before = guard;
    const int result = SetEquity(c.amount, 0, 1000, mode);
    if (c.usableEquity) {
      EXPECT_EQ(guard.equity, c.amount) << "mode " << mode;
    } else {
      EXPECT_EQ(result, ZT_NO_ACTION) << "mode " << mode;
      EXPECT_EQ(std::memcmp(&before, &guard, sizeof guard), 0) << "mode " << mode;
    }
    ExpectPositionsInTheirTables();
    EXPECT_TRUE(std::isfinite(guard.periodDrawdown) && guard.periodDrawdown <= 0.0);
    EXPECT_TRUE(std::isfinite(guard.lowestVsInitial) && guard.lowestVsInitial <= 0.0);
    ExpectEveryTextBounded(std::string(c.name) + " mode " + std::to_string(mode));
  }
  // The file holds a number wherever a usable snapshot was rolled, never "inf" or "nan".
  const std::string stored = Setting(Ini(), "SNAP", "Equity Snap");
  EXPECT_EQ(stored.find_first_not_of("0123456789.-"), std::string::npos) << stored;
}

TEST_P(AbsurdAmount, InTheHostsTextValuesAndSetLastValues) {
  const AmountCase& c = GetParam();
  ASSERT_EQ(Start(1000), 1000.0);
  EXPECT_EQ(SetTTC(INT_MIN, c.amount), INT_MIN);
  EXPECT_TRUE(SameBits(guard.equity, c.amount));  // kept as the host gave it, for the alerts
  SetEmailProp(c.amount, c.amount, c.amount);
  EXPECT_TRUE(SameBits(guard.emailMarginPercent, c.amount));
  ExpectEveryTextBounded(c.name);
  if (!(c.amount > 0.0)) {
    HostBuffer alert;
    GetAlert(2, alert.data());
    EXPECT_EQ(alert.Text(), "Error: zero equity");
  }

  const std::string started = Setting(Ini(), "SNAP", "Equity Snap");
  SetLastValues(c.amount, 1, 2, 3, 4);
  EXPECT_EQ(Setting(Ini(), "SNAP", "Equity Snap") != started, c.usableEquity);
  EXPECT_EQ(Setting(Ini(), "INDEX", "DD"), "4");
  EXPECT_EQ(guard.tpSet, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Amounts, AbsurdAmount,
    ::testing::Values(AmountCase{"NaN", kNaN, false}, AmountCase{"negative NaN", -kNaN, false},
                      AmountCase{"infinity", kInf, false},
                      AmountCase{"negative infinity", -kInf, false},
                      AmountCase{"1e308", 1e308, true}, AmountCase{"-1e308", -1e308, false},
                      AmountCase{"largest double", DBL_MAX, true},
                      AmountCase{"smallest denormal", kDenormal, true},
                      AmountCase{"negative zero", -0.0, false}),
    [](const auto& row) {
      std::string name = row.param.name;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

// ---- Settings files left in a bad state -----------------------------------------------------

struct FileCase {
  const char* name;
  std::string contents;     // the settings file before InitZT(equity 1000)
  double snapshot;          // what InitZT returns
  double initialEquity;     // what it settles on
  int tpSet, tpIndex, ddSet, ddIndex;
};

std::string Garbage() {
  std::string bytes;
  for (int round = 0; round < 64; ++round) {
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>((b * 37 + round) & 0xFF);
  }
  return bytes;
}

const std::string kLongLine(kMegabyte, 'x');

std::vector<FileCase> FileCases() {
  return {
      {"BinaryGarbage", Garbage(), 1000, 1000, 0, 0, 0, 0},
      {"OneMegabyteLineBeforeTheKeys",
       kLongLine + "\r\n[SNAP]\r\nEquity Snap=1250.50\r\n[INDEX]\r\nTP=1\r\n", 1250.5, 1250.5, 0, 1,
       0, 0},
      {"OneMegabyteValue", "[SNAP]\r\nJunk=" + kLongLine + "\r\nEquity Snap=1250.50\r\n", 1250.5,
       1250.5, 0, 0, 0, 0},
      {"NoNewlineAtAll", "[INDEX]\r\nDD=1\r\nTP=1\r\n[SNAP]\r\nEquity Snap=1250.50", 1250.5, 1250.5,
       0, 1, 0, 1},
      {"MixedLineEnds",
       "[SNAP]\nEquity Snap=1250.50\r\nInitial Equity=900\r[INDEX]\rTPSet=1\nTP=1\r\nDDSet=1\rDD=1",
       1250.5, 900, 1, 1, 1, 1},
      {"ByteOrderMark", "\xEF\xBB\xBF[SNAP]\r\nEquity Snap=1250.50\r\n[INDEX]\r\nDDSet=1\r\n", 1250.5,
       1250.5, 0, 0, 1, 0},
      {"DuplicateSectionsAndKeys",
       "[SNAP]\r\nEquity Snap=1250.50\r\nEquity Snap=9.00\r\n[INDEX]\r\nTP=1\r\nTP=2\r\n"
       "[snap]\r\nEquity Snap=7\r\n[index]\r\nTP=3\r\nDD=1\r\n",
       1250.5, 1250.5, 0, 1, 0, 0},
      {"IndicesOf99AndMinus5", "[INDEX]\r\nTPSet=99\r\nTP=-5\r\nDDSet=-5\r\nDD=99\r\n", 1000, 1000,
       core::kTargetSets - 1, 0, 0, core::kSetPositions - 1},
      // Read modulo 2^32 as the Windows service does (1215752191, 2147483647), then clamped.
      {"IndicesBeyondInt", "[INDEX]\r\nTPSet=99999999999\r\nTP=-2147483649\r\nDD=0x7fffffff\r\n",
       1000, 1000, core::kTargetSets - 1, core::kSetPositions - 1, 0, core::kSetPositions - 1},
      {"SnapshotInf", "[SNAP]\r\nEquity Snap=inf\r\nInitial Equity=inf\r\n", 1000, 1000, 0, 0, 0, 0},
      {"Snapshot1e400", "[SNAP]\r\nEquity Snap=1e400\r\nInitial Equity=-1e400\r\n", 1000, 1000, 0,
       0, 0, 0},
      {"SnapshotNaNAndNegative", "[SNAP]\r\nEquity Snap=nan\r\nInitial Equity=-5\r\n", 1000, 1000,
       0, 0, 0, 0},
      {"Utf16File", std::string("\xFF\xFE[\0S\0N\0A\0P\0]\0", 14), 1000, 1000, 0, 0, 0, 0},
      {"EmptyFile", "", 1000, 1000, 0, 0, 0, 0},
  };
}

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }
void PrintTo(const AmountCase& c, std::ostream* out) { *out << c.name; }

class BrokenSettingsFile : public HostileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(BrokenSettingsFile, StartsFromWhatCanBeReadAndKeepsGoing) {
  const FileCase& c = GetParam();
  WriteFile(Ini(), c.contents);
  double initial = 0.0;
  EXPECT_EQ(InitZT(0, "EA", &initial, 1000, 0, 1000, kTakeProfits, kDrawdowns, kIncreases,
                   kStopLosses),
            c.snapshot);
  EXPECT_EQ(initial, c.initialEquity);
  int tpSet = -1, tpIndex = -1, ddSet = -1, ddIndex = -1;
  GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  EXPECT_EQ(tpSet, c.tpSet);
  EXPECT_EQ(tpIndex, c.tpIndex);
  EXPECT_EQ(ddSet, c.ddSet);
  EXPECT_EQ(ddIndex, c.ddIndex);

  // A cycle on top of it: every position stays in its table and every text is bounded.
  const double snapshot = GetEquitySnap();
  SetEquity(snapshot - 1000, 0, 0, 0);
  SetEquity(snapshot + 1000, 0, 0, 0);
  SetEquity(snapshot + 100, 0, 0, 1);
  ExpectPositionsInTheirTables();
  ExpectEveryTextBounded(c.name);
  EXPECT_EQ(GetEquitySnap(), snapshot + 100);

  // Whatever could be written now reads back: the file still parses, the next start resumes.
  if (Setting(Ini(), "SNAP", "Equity Snap") != "(missing)") {
    test_hooks::ResetGuard();
    settings::DeriveSettingsPath(folder.File("zentravo.so"));
    EXPECT_EQ(Start(1), snapshot + 100);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, BrokenSettingsFile, ::testing::ValuesIn(FileCases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(HostileTest, MegabyteLinesTheGuardDoesNotOwnSurviveItsWrites) {
  for (const FileCase& c : FileCases()) {
    if (c.contents.find(kLongLine) == std::string::npos) continue;
    SCOPED_TRACE(c.name);
    FreshGuard(folder);
    WriteFile(Ini(), c.contents);
    Start(1000);
    SetEquity(1300, 0, 0, 1);
    EXPECT_NE(ReadFile(Ini()).find(kLongLine), std::string::npos);
    EXPECT_EQ(Setting(Ini(), "SNAP", "Equity Snap"), "1300.00");
  }
}

TEST_F(HostileTest, AFileWhoseFirstLineHidesAMarkIsNotRewrittenIntoAnotherFile) {
  // Trimming the first line for a rewrite would put the UTF-16 mark at the front of the file and
  // make every key unreadable; the write is refused and the file keeps what it holds.
  const std::string stored = "\x1a \xFF\xFE\r\n[SNAP]\r\nEquity Snap=1250.50\r\n";
  WriteFile(Ini(), stored);
  EXPECT_EQ(Start(1000), 1250.5);
  SetEquity(1300, 0, 0, 1);
  EXPECT_EQ(ReadFile(Ini()), stored);
  EXPECT_EQ(Setting(Ini(), "SNAP", "Equity Snap"), "1250.50");
}

// ---- Folders the library cannot use ---------------------------------------------------------

// The whole guard runs in memory when its file cannot be written: decisions and state as usual.
void ExpectACycleInMemory(double snapshot) {
  EXPECT_EQ(SetEquity(snapshot - 20, 0, 0, 0), ZT_DRAWDOWN_STEP);
  EXPECT_EQ(SetEquity(snapshot + 30, 0, 0, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(SetEquity(1150, 0, 0, 1), ZT_INCREASE_REACHED);
  EXPECT_EQ(GetEquitySnap(), 1150.0);
  EXPECT_EQ(guard.tpSet, 1);
  ExpectEveryTextBounded("in memory");
}

TEST_F(HostileTest, AReadOnlyFolderIsReadAndNeverChanged) {
  const std::string stored = "[SNAP]\r\nEquity Snap=1000.00\r\nInitial Equity=900.00\r\n";
  WriteFile(Ini(), stored);
  // Every rewrite first takes the lock file beside the settings file; a folder in its place
  // stops it even for root, for whom the permission bits below mean nothing.
  const std::string blocker = Ini() + ".lock";
  ASSERT_TRUE(std::filesystem::create_directory(blocker));
  ASSERT_EQ(chmod(folder.path.c_str(), 0555), 0);

  EXPECT_EQ(Start(500), 1000.0);
  EXPECT_EQ(guard.initialEquity, 900.0);
  ExpectACycleInMemory(1000);
  SetLastValues(2000, 1, 1, 1, 1);
  chmod(folder.path.c_str(), 0755);
  EXPECT_EQ(ReadFile(Ini()), stored);
  EXPECT_TRUE(std::filesystem::is_empty(blocker));
  // The file and the blocker: no write was made without the lock, so nothing else was created.
  int others = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path)) {
    if (entry.path() != Ini() && entry.path() != blocker) ++others;
  }
  EXPECT_EQ(others, 0);
}

TEST_F(HostileTest, AMissingFolderIsNeverCreated) {
  settings::DeriveSettingsPath(folder.File("missing/zentravo.so"));
  EXPECT_EQ(Start(1000), 1000.0);
  ExpectACycleInMemory(1000);
  EXPECT_FALSE(testing::FileExists(folder.File("missing")));
}

TEST_F(HostileTest, ASettingsFileThatIsAFolderIsLeftAlone) {
  ASSERT_TRUE(std::filesystem::create_directory(Ini()));
  WriteFile(Ini() + "/inside", "kept");
  EXPECT_EQ(Start(1000), 1000.0);
  ExpectACycleInMemory(1000);
  EXPECT_TRUE(std::filesystem::is_directory(Ini()));
  EXPECT_EQ(ReadFile(Ini() + "/inside"), "kept");
}

// ---- A statistics file that cannot be created ------------------------------------------------

TEST_F(HostileTest, AStatisticsFileThatCannotBeCreatedKeepsTheRingsUntilTheNextChance) {
  settings::DeriveSettingsPath(folder.File("later/zentravo.so"));
  ASSERT_EQ(Start(1000, 0, 1000, "EA", "50", "20"), 1000.0);
  auto cycle = [](double margin) {
    EXPECT_EQ(SetEquity(1060, margin, 0, 0), ZT_TAKE_PROFIT_HIT);
    SetEquity(1000, 0, 0, 1);
  };
  for (int slot = 0; slot < core::kCycleSlots - 1; ++slot) cycle(slot + 1);
  ASSERT_EQ(guard.cycleIndex, core::kCycleSlots - 1);
  const std::string name = "later/zentravo-stat-2011.07.13 09-39.csv";

  // The last slot fills while the folder is missing: no file, all 512 slots kept.
  EXPECT_EQ(SetEquity(1060, 512, 0, 0), ZT_TAKE_PROFIT_HIT);
  EXPECT_EQ(guard.marginAtClose[0], 1.0);
  EXPECT_EQ(guard.marginAtClose[core::kCycleSlots - 1], 512.0);

  // A roll wraps the cycle; the next pass overwrites the old slots one by one and the next close
  // in slot 511 is the next chance, which finds the folder there and writes the file.
  SetEquity(1000, 0, 0, 1);
  ASSERT_EQ(guard.cycleIndex, 0);
  ASSERT_TRUE(std::filesystem::create_directory(folder.File("later")));
  for (int slot = 0; slot < core::kCycleSlots - 1; ++slot) cycle(1000 + slot);
  EXPECT_FALSE(testing::FileExists(folder.File(name)));
  EXPECT_EQ(SetEquity(1060, 7, 0, 0), ZT_TAKE_PROFIT_HIT);
  const std::string statistics = ReadFile(folder.File(name));
  EXPECT_EQ(std::count(statistics.begin(), statistics.end(), '\n'), core::kCycleSlots + 1);
  EXPECT_NE(statistics.find("\n1,0.00,1000.00\n"), std::string::npos);
  EXPECT_NE(statistics.find("\n512,0.00,7.00\n"), std::string::npos);
  EXPECT_EQ(guard.marginAtClose[core::kCycleSlots - 1], 0.0);
}

// ---- Megabyte texts from the host -----------------------------------------------------------

TEST_F(HostileTest, AMegabyteHostTagIsCutTo19Characters) {
  std::string tag(kMegabyte, 'T');
  tag.replace(0, 20, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Start(1000, 0, 1000, tag.c_str()), 1000.0);
  EXPECT_STREQ(guard.hostTag, "ABCDEFGHIJKLMNOPQRS");
  HostBuffer title;
  GetLabel(0, 0, title.data());
  EXPECT_EQ(title.Text().find("(ABCDEFGHIJKLMNOPQRS) "), std::string("Zentravo - 3.0 ").size());
}

TEST_F(HostileTest, MegabyteTargetTextsFillTheTablesFromTheirStart) {
  std::string sets;  // "1,2,...,40;1,2,...,40;..." far past 8 sets of 32
  while (sets.size() < kMegabyte) {
    for (int position = 1; position <= 40; ++position) {
      sets += std::to_string(position) + (position < 40 ? "," : ";");
    }
  }
  const std::string digits(kMegabyte, '9');  // one number beyond the double range
  double initial = 0.0;
  EXPECT_EQ(InitZT(0, "EA", &initial, 1000, 0, 1000, sets.c_str(), digits.c_str(), sets.c_str(),
                   digits.c_str()),
            1000.0);
  for (int set = 0; set < core::kTargetSets; ++set) {
    EXPECT_EQ(core::TableAt(guard.takeProfitTable, set, 0), 1.0);
    EXPECT_EQ(core::TableAt(guard.takeProfitTable, set, core::kSetPositions - 1), 32.0);
  }
  EXPECT_EQ(core::ListAt(guard.increaseTargets, core::kListEntries - 1), 8.0);
  // An amount beyond the double range is infinite: that target and stop loss are never reached.
  EXPECT_EQ(core::CurrentDrawdownTarget(), kInf);
  EXPECT_EQ(core::CurrentStopLoss(), kInf);
  EXPECT_EQ(SetEquity(1e-300, 0, 0, 0), ZT_NO_ACTION);
  EXPECT_EQ(SetEquity(1001, 0, 0, 0), ZT_TAKE_PROFIT_HIT);
  ExpectEveryTextBounded("megabyte targets");
}

TEST_F(HostileTest, MegabyteWindowTitlesFitTheIdentityFields) {
  const std::string frame = "EURUSD" + std::string(kMegabyte, 'F');
  const std::string main = "123456:" + std::string(kMegabyte, 'S');
  SetWindowTitles(31337, frame.c_str(), main.c_str());
  double initial = 0.0;
  ASSERT_EQ(InitZT(31337, "EA", &initial, 1000, 0, 1000, "", "", "", ""), 1000.0);
  EXPECT_EQ(std::string(guard.symbol), frame.substr(0, core::kSymbolSize - 1));
  EXPECT_EQ(guard.accountNumber, 123456);
  EXPECT_LT(std::strlen(guard.serverName), static_cast<std::size_t>(core::kServerNameSize));
  ExpectEveryTextBounded("megabyte titles");
}

}  // namespace
}  // namespace zt
