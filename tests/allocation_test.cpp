// The library allocates nothing: every export, on every path a host can reach, is called with a
// counting replacement of the process's allocation functions armed, and must leave the count at
// zero. The replacement counts malloc and its relatives (what the C runtime uses inside the
// library's calls, e.g. for a time-zone load) and, through them, every form of operator new.
//
// This program has its own executable (allocation.cmake): replacing malloc in the shared suite
// would change the allocator under every other test, and sanitizer builds bring their own. It
// does not link the suite's support file either, whose set-up converts a local time before the
// first test and would hide an allocation of the process's first conversion.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "settings/settings_path.h"
#include "core/guard_state.h"
#include "texts/time_text.h"
#include "boundary/test_hooks.h"
#include "zentravo.h"

// ---- The counting allocator --------------------------------------------------------------------

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

bool armed = false;        // count only while a library call runs
int allocations = 0;       // allocations seen while armed

void Count() {
  if (armed) ++allocations;
}

void* Aligned(std::size_t alignment, std::size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) noexcept {
  Count();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  Count();
  return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) noexcept {
  Count();
  return __libc_realloc(block, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept { return Aligned(alignment, size); }
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  return Aligned(alignment, size);
}
int posix_memalign(void** block, std::size_t alignment, std::size_t size) noexcept {
  *block = Aligned(alignment, size);
  return *block == nullptr ? ENOMEM : 0;
}
void free(void* block) noexcept { __libc_free(block); }
}

// Every operator new goes through malloc or the aligned form, so it is counted there.
void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  void* block = Aligned(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return operator new(size, alignment);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }

namespace zt {
namespace {

// A fresh folder for the settings and statistics files, removed afterwards.
struct Folder {
  Folder() {
    path = (std::filesystem::temp_directory_path() / "zt-alloc-XXXXXX").string();
    if (mkdtemp(path.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

// The guard as the library loaded from folder leaves it, the clock pinned.
void FreshGuard(const Folder& folder) {
  test_hooks::ResetGuard();
  test_hooks::ForgetCachedTimes();
  test_hooks::FixClock(1310549945);  // 2011-07-13 09:39:05 UTC
  settings::DeriveSettingsPath(folder.File("zentravo.so"));
}

// Allocations made by call.
template <typename Call>
int AllocationsOf(Call call) {
  allocations = 0;
  armed = true;
  call();
  armed = false;
  return allocations;
}

// Runs first: the process's first local-time conversion, the title of the dashboard on the
// system clock, before anything else in the process has converted a time.
TEST(AllocationFirst, TheProcessFirstLocalTimeAllocatesNothing) {
  Folder folder;
  FreshGuard(folder);
  test_hooks::ReleaseClock();
  EXPECT_EQ(AllocationsOf([] {
              char title[ZT_TEXT_CAPACITY];
              GetLabel(0, 0, title);
            }),
            0);
}

// The counter sees what it must see, so that the zeros below mean something.
TEST(CountingAllocator, CountsEveryKindOfAllocation) {
  struct Case {
    const char* name;
    int (*allocate)();
  };
  static volatile std::size_t size = 24;  // keeps the compiler from eliding the allocations
  const Case cases[] = {
      {"malloc", [] { return AllocationsOf([] { std::free(std::malloc(size)); }); }},
      {"calloc", [] { return AllocationsOf([] { std::free(std::calloc(size, 2)); }); }},
      {"new", [] { return AllocationsOf([] { delete new std::string(size, 'x'); }); }},
      {"new[]", [] { return AllocationsOf([] { delete[] new char[size]; }); }},
      {"aligned new", [] {
         struct alignas(64) Wide { char bytes[64]; };
         return AllocationsOf([] { delete new Wide; });
       }},
      {"std::string", [] { return AllocationsOf([] { std::string text(size * 4, 'x'); }); }},
      {"inside the C library", [] { return AllocationsOf([] { std::free(strdup("text")); }); }},
  };
  for (const Case& c : cases) EXPECT_GE(c.allocate(), 1) << c.name;
}

// ---- Every export, along a host's life ---------------------------------------------------------

char text[ZT_TEXT_CAPACITY];

void AllTexts() {
  for (int kind = -1; kind <= 5; ++kind) GetAlert(kind, text);
  for (int kind = -1; kind <= 3; ++kind) GetEmailSubject(kind, text);
  for (int part = -1; part <= 6; ++part) {
    for (int kind = -1; kind <= 3; ++kind) GetEmailText(part, kind, 1100.0, text);
  }
  for (int column = -1; column <= 2; ++column) {
    for (int row = -1; row <= 16; ++row) {
      GetLabel(row, column, text);
      GetValue(row, column, text);
    }
  }
  GetAlert(1, nullptr);
  GetEmailSubject(0, nullptr);
  GetEmailText(1, 0, 0.0, nullptr);
  GetLabel(0, 0, nullptr);
  GetValue(3, 0, nullptr);
}

void Getters() {
  int tpSet = 0, tpIndex = 0, ddSet = 0, ddIndex = 0;
  GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  GetIndex(nullptr, nullptr, nullptr, nullptr);
  static volatile double snapshot = GetEquitySnap();
  (void)snapshot;
}

void Start(const char* takeProfits) {
  SetWindowTitles(7, "EURUSD,H1", "123456: Broker Server - Demo Account");
  double initial = 0.0;
  InitZT(7, "alloc", &initial, 1000.0, 10.0, 990.0, takeProfits, "20,40;25,50", "1100,1200",
         "100,150");
}

// Fills slots 0-510 the quick way, so that the next close-all fills the last slot.
void FillRings() {
  for (int slot = 0; slot < core::kCycleSlots - 1; ++slot) {
    core::guard.marginAtClose[static_cast<std::size_t>(slot)] = 10.0 + slot;
    core::guard.drawdownAtClose[static_cast<std::size_t>(slot)] = -0.5 * (slot % 37);
  }
  core::guard.cycleIndex = core::kCycleSlots - 1;
}

struct Step {
  const char* name;
  void (*call)();
};

// Every step is a library call or a few; set-up that is not the library's (the test's own
// fills) runs unarmed in the step table as "setup".
const Step kHostLife[] = {
    {"texts before any start", AllTexts},
    {"getters before any start", Getters},
    {"InitZT with zero equity", [] {
       double initial = 0.0;
       InitZT(7, "alloc", &initial, 0.0, 0.0, 0.0, "", "", "", "");
     }},
    {"SetWindowTitles", [] { SetWindowTitles(8, nullptr, "1: S - x"); }},
    {"InitZT on a fresh folder", [] { Start("50,30;80,60"); }},
    {"InitZT again, reading the file", [] { Start("50,30;80,60"); }},
    {"SetEquity, unusable equity", [] {
       SetEquity(0.0, 1.0, 1.0, 0);
       SetEquity(-5.0, 1.0, 1.0, 1);
     }},
    {"SetEquity, unchanged", [] { SetEquity(1000.0, 10.0, 990.0, 0); }},
    {"SetEquity, new extremes on the system clock", [] {
       test_hooks::ReleaseClock();
       test_hooks::ForgetCachedTimes();
       SetEquity(985.0, 12.0, 950.0, 0);
     }},
    {"texts on the system clock", AllTexts},
    {"SetEquity, drawdown step", [] { SetEquity(978.0, 12.0, 940.0, 0); }},
    {"SetEquity, take profit hit", [] { SetEquity(1031.0, 12.0, 990.0, 0); }},
    {"SetTTC", [] { SetTTC(1500, 1030.5); }},
    {"texts after a close-all", AllTexts},
    {"SetEquity, roll", [] { SetEquity(1030.5, 0.0, 0.0, 1); }},
    {"SetEquity, stop loss hit", [] { SetEquity(900.0, 12.0, 890.0, 0); }},
    {"SetEquity, roll reaching an increase target", [] { SetEquity(1150.0, 0.0, 0.0, 1); }},
    {"SetEmailProp", [] { SetEmailProp(1200.0, 50.0, 30.0); }},
    {"texts after an increase target", AllTexts},
    {"getters", Getters},
    {"SetLastValues", [] {
       SetLastValues(1234.5, 1, 2, 3, 4);
       SetLastValues(0.0, 0, 0, 0, 0);
     }},
    {"close-all filling the last slot (statistics file)", [] {
       SetEquity(1100.0, 20.0, 1000.0, 0);
       SetEquity(1300.0, 20.0, 1000.0, 0);
     }},
    {"a second close-all in that cycle (a second file)", [] { SetEquity(1300.0, 21.0, 1000.0, 0); }},
    {"texts after the statistics file", AllTexts},
};

TEST(Allocation, NoExportAllocatesOnAnyPath) {
  Folder folder;
  FreshGuard(folder);
  for (const Step& step : kHostLife) {
    // The statistics steps need full rings; filling them is the test's work, not the library's.
    if (std::string(step.name).starts_with("close-all filling")) FillRings();
    EXPECT_EQ(AllocationsOf(step.call), 0) << step.name;
  }
  // The life above reached the paths it names: the file exists and the rings were written out.
  EXPECT_TRUE(std::filesystem::exists(folder.File("zentravo.ini")));
  EXPECT_EQ(core::guard.tpSet, 1);
  EXPECT_EQ(core::guard.cycleIndex, core::kCycleSlots - 1);
  EXPECT_EQ(core::guard.marginAtClose[0], 0.0);
  EXPECT_EQ(core::guard.lastCloseMargin, 21.0);
}

// A settings file the library cannot use is a path of its own: reads fall back, writes fail.
TEST(Allocation, NothingAllocatedWithoutAUsableSettingsFile) {
  Folder folder;
  FreshGuard(folder);
  std::ofstream(folder.File("zentravo.ini"), std::ios::binary) << "\xFF\xFE[SNAP]";  // UTF-16
  EXPECT_EQ(AllocationsOf([] { Start("50"); }), 0);
  EXPECT_EQ(AllocationsOf([] { SetEquity(1051.0, 1.0, 1.0, 0); }), 0);
  core::guard.settingsPath[0] = '\0';  // the library could not place its file
  EXPECT_EQ(AllocationsOf([] { Start("50"); }), 0);
  EXPECT_EQ(AllocationsOf([] { SetLastValues(1.0, 1, 1, 1, 1); }), 0);
}

}  // namespace
}  // namespace zt
