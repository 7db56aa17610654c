// The POSIX private-profile store where a write cannot go through: no write damages a file it
// cannot handle, a full disk leaves no temporary file or half a report, the leftovers of writers
// that were killed go, and two writers at once lose neither's keys.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/profile_store.h"
#include "test_support.h"
#include "profile_posix_support.h"

namespace zt::settings {
namespace {

using namespace profile_testing;

// ---- Failures ---------------------------------------------------------------------------------

TEST(ProfileWriteFailure, NothingIsWrittenWhereItCannotBe) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("folder.ini"));
  WriteFile(folder.File("zentravo.ini"), "[S]\nA=1\n");
  struct Row {
    std::string path;
    const char* section;
    const char* key;
    const char* value;
  };
  const Row rows[] = {
      {"", "S", "A", "2"},
      {folder.File("missing/zentravo.ini"), "S", "A", "2"},
      {folder.File("zentravo.ini/below.ini"), "S", "A", "2"},
      {folder.File("folder.ini"), "S", "A", "2"},
      {folder.File("zentravo.ini"), "S", "A", "2\r\n[T]"},
      {folder.File("zentravo.ini"), "S", "A\nB", "2"},
      {folder.File("zentravo.ini"), "S\r", "A", "2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path + " " + row.section + "/" + row.key + "=" + row.value);
    EXPECT_FALSE(Write(row.path, row.section, row.key, row.value));
    EXPECT_EQ(ReadFile(folder.File("zentravo.ini")), "[S]\nA=1\n");
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"folder.ini", "zentravo.ini"}));
  }
}

TEST(ProfileWriteFailure, ReadOnlyFolderAndFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  WriteFile(path, "[S]\r\nA=1\r\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  EXPECT_FALSE(Write(path, "S", "A", "2"));
  EXPECT_TRUE(Write(path, "S", "A", "1")) << "a write that changes nothing needs no access";
  EXPECT_EQ(Read(path, "S", "A"), "1");

  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  std::filesystem::permissions(folder.path, std::filesystem::perms::owner_read |
                                                std::filesystem::perms::owner_exec);
  EXPECT_FALSE(Write(path, "S", "A", "2"));
  EXPECT_FALSE(Write(folder.File("new.ini"), "S", "A", "2"));
  std::filesystem::permissions(folder.path, std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadFile(path), "[S]\r\nA=1\r\n");
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

TEST(ProfileWriteFailure, FilesTheStoreCannotHoldAreLeftAlone) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  // The store holds 4 MiB: the first file is far beyond it, the second fits but its CR LF
  // rewrite would not, and the others are UTF-16 (with a byte order mark, then without one, little
  // and big endian), which a byte-wise rewrite would tear apart.
  std::string lfLines;
  for (int i = 0; i < 1500000; ++i) lfLines += "x\n";
  const std::string files[] = {
      "[S]\r\nA=1\r\n" + std::string(8u << 20, ';'),
      "[S]\nA=1\n" + lfLines,
      std::string("\xFF\xFE[\0S\0]\0\r\0\n\0A\0=\0001\0\r\0\n\0", 22),
      std::string("[\0S\0]\0\r\0\n\0A\0=\0001\0\r\0\n\0", 20),
      std::string("\0[\0S\0]\0\r\0\n\0A\0=\0001\0\r\0\n", 20),
  };
  const bool readable[] = {false, true, false, false, false};
  for (std::size_t i = 0; i < std::size(files); ++i) {
    SCOPED_TRACE(i);
    WriteFile(path, files[i]);
    EXPECT_EQ(Read(path, "S", "A"), readable[i] ? "1" : "default");
    EXPECT_FALSE(Write(path, "S", "A", "2"));
    EXPECT_EQ(ReadFile(path), files[i]);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
  }
}

// Runs write while files may grow to 4 KiB only, as on a full disk: a longer write fails
// half-way (EFBIG). Returns what write returned.
template <typename Action>
bool OnAFullDisk(Action&& write) {
  rlimit saved{};
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = write();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  return written;
}

TEST(ProfileWriteFailure, FailedRewriteRemovesTheTemporaryFile) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  const std::string before = "[S]\r\nA=1\r\n; " + Pattern(20000) + "\r\n";
  WriteFile(path, before);
  EXPECT_FALSE(OnAFullDisk([&] { return Write(path, "S", "A", "2"); }));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"zentravo.ini"});
}

// A statistics file on a full disk: a file cut short is removed rather than left to read as a
// complete report, and only a name already taken is told apart as such.
TEST(ProfileWriteFailure, ANewTextFileCutShortIsRemoved) {
  TempFolder folder;
  const std::string path = folder.File("zentravo-stat.csv");
  zt::platform::FileProblem problem = zt::platform::FileProblem::none;
  EXPECT_FALSE(OnAFullDisk(
      [&] { return zt::platform::WriteNewTextFile(path.c_str(), Pattern(20000), &problem); }));
  EXPECT_EQ(problem, zt::platform::FileProblem::failed);
  EXPECT_TRUE(Names(folder).empty());

  WriteFile(path, "earlier");
  EXPECT_FALSE(zt::platform::WriteNewTextFile(path.c_str(), "#,DD,Margin\n", &problem));
  EXPECT_EQ(problem, zt::platform::FileProblem::exists);
  EXPECT_EQ(ReadFile(path), "earlier");
}

// ---- Writes killed mid-way ----------------------------------------------------------------------

TEST(AbandonedWrites, LeftoversOfEndedWritersGoEverythingElseStays) {
  TempFolder folder;
  const std::string settings = folder.File("zentravo.ini");
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  waitpid(ended, nullptr, 0);
  const std::string endedId = std::to_string(ended);
  const std::string liveId = std::to_string(getppid());  // our parent runs while we do

  const std::vector<std::string> leftovers = {
      "zentravo.ini." + endedId + ".tmp",
      "zentravo.ini." + std::to_string(getpid()) + ".tmp",  // an earlier process with our id
  };
  std::vector<std::string> kept = {
      "zentravo.ini",
      "zentravo.ini." + liveId + ".tmp",  // a write in progress in another process
      "zentravo.ini.tmp",
      "zentravo.ini.12x.tmp",
      "zentravo.ini." + endedId + ".tmp.bak",
      "zentravo.ini2." + endedId + ".tmp",
      "other.ini." + endedId + ".tmp",
  };
  for (const auto& name : leftovers) WriteFile(folder.File(name), "[S]\r\n");
  for (const auto& name : kept) WriteFile(folder.File(name), "[S]\r\n");

  RemoveAbandonedWrites(settings.c_str());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Names(folder), kept);
  RemoveAbandonedWrites("");       // no settings file: nothing to do
  RemoveAbandonedWrites(nullptr);
  EXPECT_EQ(Names(folder), kept);
}

}  // namespace
// Two processes writing the same file at once: each read-modify-write holds the lock and starts
// from the file as the other left it, so neither loses the other's keys and the file stays whole.
TEST(ProfileTwoWriters, NeitherLosesTheOthersKeys) {
  TempFolder folder;
  const std::string path = folder.File("zentravo.ini");
  WriteFile(path, "[Mine]\r\nkeep=this\r\n");
  constexpr int kKeys = 150;
  pid_t writers[2] = {};
  for (int writer = 0; writer < 2; ++writer) {
    writers[writer] = fork();
    ASSERT_GE(writers[writer], 0);
    if (writers[writer] == 0) {
      // A write that finds the lock held past the seam's short wait reports it and is tried
      // again, as the guard does; any other failure fails the test.
      bool all = true;
      for (int key = 0; key < kKeys; ++key) {
        const std::string name = std::string(1, static_cast<char>('a' + writer)) + std::to_string(key);
        const std::string value = std::to_string(key);
        const zt::settings::ProfileEntry entry{name, value};
        FileProblem problem = FileProblem::locked;
        for (int attempt = 0; attempt < 1000 && problem == FileProblem::locked; ++attempt) {
          WriteProfileStrings(path.c_str(), key % 2 == 0 ? "SNAP" : "INDEX", &entry, 1, &problem);
        }
        all = all && problem == FileProblem::none;
      }
      _exit(all ? 0 : 1);
    }
  }
  for (const pid_t writer : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
  }
  for (int writer = 0; writer < 2; ++writer) {
    for (int key = 0; key < kKeys; ++key) {
      const std::string name = std::string(1, static_cast<char>('a' + writer)) + std::to_string(key);
      ASSERT_EQ(Read(path, key % 2 == 0 ? "SNAP" : "INDEX", name, "lost"), std::to_string(key))
          << name;
    }
  }
  const std::string file = ReadFile(path);
  EXPECT_EQ(file.find("[SNAP]"), file.rfind("[SNAP]")) << "one [SNAP] section";
  EXPECT_EQ(file.find("[INDEX]"), file.rfind("[INDEX]")) << "one [INDEX] section";
  EXPECT_EQ(Read(path, "Mine", "keep", ""), "this");
}
}  // namespace zt::settings
