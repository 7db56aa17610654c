// The pieces every host-side program shares (tools/common): the export table's binding by name
// and the guard-byte text buffer, and how the simulator reads texts through them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "exports.h"
#include "host/guard_api.h"
#include "host_text.h"

namespace zt::sim {
namespace {

void Nothing() {}

// A lookup that knows every export but the ones left out, each answering its own address.
struct FakeLibrary {
  std::map<std::string, void (*)()> symbols;
  FakeLibrary() {
    for (const char* name : {"InitZT", "SetEquity", "SetLastValues", "SetTTC", "SetEmailProp",
                             "GetEquitySnap", "GetIndex", "GetAlert", "GetEmailSubject",
                             "GetEmailText", "GetLabel", "GetValue", "SetWindowTitles"}) {
      symbols[name] = Nothing;
    }
  }
  void (*Lookup(const char* name) const)() {
    const auto found = symbols.find(name);
    return found == symbols.end() ? nullptr : found->second;
  }
};

TEST(BindExports, BindsEveryExportByName) {
  const FakeLibrary library;
  tools::Exports exports{};
  EXPECT_EQ(tools::BindExports(exports, [&](const char* name) { return library.Lookup(name); }),
            nullptr);
  EXPECT_EQ(reinterpret_cast<void (*)()>(exports.InitZT), &Nothing);
  EXPECT_EQ(reinterpret_cast<void (*)()>(exports.GetValue), &Nothing);
  EXPECT_EQ(reinterpret_cast<void (*)()>(exports.SetWindowTitles), &Nothing);
}

TEST(BindExports, NamesTheFirstMissingExportAndLeavesItsSlotEmpty) {
  FakeLibrary library;
  library.symbols.erase("GetLabel");
  library.symbols.erase("SetWindowTitles");
  tools::Exports exports{};
  const char* missing =
      tools::BindExports(exports, [&](const char* name) { return library.Lookup(name); });
  ASSERT_NE(missing, nullptr);
  EXPECT_STREQ(missing, "GetLabel");
  EXPECT_EQ(exports.GetLabel, nullptr);
  EXPECT_EQ(exports.SetWindowTitles, nullptr);
  EXPECT_NE(exports.GetValue, nullptr);  // the ones after a missing export are still bound
}

TEST(HostText, TellsNothingWrittenFromTheEmptyText) {
  tools::HostText buffer('#');
  EXPECT_TRUE(buffer.Untouched());
  EXPECT_TRUE(buffer.GuardIntact());
  buffer.data()[0] = '\0';
  EXPECT_FALSE(buffer.Untouched());
  EXPECT_TRUE(buffer.Terminated());
  EXPECT_EQ(buffer.Text(), "");
}

TEST(HostText, ReadsTheTextUpToItsTerminator) {
  tools::HostText buffer('#');
  std::memcpy(buffer.data(), "level\0rest", 10);
  EXPECT_EQ(buffer.Text(), "level");
  EXPECT_TRUE(buffer.GuardIntact());
}

TEST(HostText, SeesAWriteOneBytePastTheCapacity) {
  tools::HostText buffer('#');
  std::memset(buffer.data(), 'x', tools::HostText::kCapacity - 1);
  buffer.data()[tools::HostText::kCapacity - 1] = '\0';
  EXPECT_TRUE(buffer.GuardIntact());  // a full text that fits
  EXPECT_EQ(buffer.Text().size(), tools::HostText::kCapacity - 1);
  buffer.data()[tools::HostText::kCapacity] = '\0';
  EXPECT_FALSE(buffer.GuardIntact());
}

TEST(HostText, WithoutTerminatorReadsWhatACHostWouldAfterCuttingTheLastByte) {
  tools::HostText buffer('#');
  std::memset(buffer.data(), 'y', tools::HostText::kCapacity);
  EXPECT_FALSE(buffer.Terminated());
  EXPECT_EQ(buffer.Text(), std::string(tools::HostText::kCapacity - 1, 'y'));
  buffer.Refill();
  EXPECT_TRUE(buffer.Untouched());
}

TEST(ReadText, ReturnsTheTextAndStopsOnAnOverrun) {
  EXPECT_EQ(ReadText([](char* out) { std::strcpy(out, "alert"); }), "alert");
  EXPECT_EQ(ReadText([](char*) {}), "");
  EXPECT_THROW(ReadText([](char* out) { std::memset(out, 'z', tools::HostText::kCapacity + 1); }),
               std::runtime_error);
}

}  // namespace
}  // namespace zt::sim
