#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/settings_path.h"
#include "core/guard_state.h"
#include "texts/time_text.h"
#include "boundary/test_hooks.h"
#include "text_helpers.h"

namespace zt::testing {

TempFolder::TempFolder(bool inMemory) {
  const std::filesystem::path memory = "/dev/shm";
  const bool useMemory = inMemory && std::filesystem::is_directory(memory);
  std::string pattern =
      ((useMemory ? memory : std::filesystem::temp_directory_path()) / "zt-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  path = pattern;
}

LockHolder::LockHolder(const std::string& lockPath) {
  int held[2];
  EXPECT_EQ(pipe(held), 0);
  EXPECT_EQ(pipe(release), 0);
  holder = fork();
  if (holder == 0) {
    const int file = open(lockPath.c_str(), O_RDWR | O_CREAT, 0666);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    const bool locked = file >= 0 && fcntl(file, F_SETLKW, &lock) == 0;
    char byte = locked ? 'y' : 'n';
    if (write(held[1], &byte, 1) != 1) _exit(1);
    close(release[1]);
    while (read(release[0], &byte, 1) > 0) {
    }
    _exit(0);
  }
  char byte = 'n';
  EXPECT_EQ(read(held[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y') << "the lock is held";
  close(held[0]);
  close(held[1]);
  close(release[0]);
}

void LockHolder::Release() {
  close(release[1]);
  waitpid(holder, nullptr, 0);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path, ignored);
}

std::string ReadFile(const std::string& path) { return tools::ReadWholeFile(path); }

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::string HostBuffer::Text() const {
  EXPECT_TRUE(Terminated()) << "no NUL within the capacity";
  if (!Terminated()) return {};
  return std::string(tools::HostText::Text());
}

void FreshGuard(const TempFolder& folder, std::int64_t time) {
  test_hooks::ResetGuard();
  test_hooks::FixClock(time);
  settings::DeriveSettingsPath(folder.File("zentravo.so"));
}

namespace {
// The whole suite runs in UTC so that local times are known in advance.
struct UtcEnvironment : ::testing::Environment {
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    test_hooks::ForgetCachedTimes();
  }
};
const auto* const utc = ::testing::AddGlobalTestEnvironment(new UtcEnvironment);
}  // namespace

}  // namespace zt::testing
