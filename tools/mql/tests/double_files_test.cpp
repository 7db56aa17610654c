// The terminal double's files held to the reference: the sandbox, replacing a file, the common
// folder and sharing, and another program holding the library's settings file. Each behaviour
// names its reference page.
#include "terminal_double.h"

namespace terminal_double {
namespace {

// docs.mql4.com/files/fileopen, filewritestring, filemove: a missing file does not open to read,
// text lines end in CR LF, a move replaces a file only with FILE_REWRITE and none that another
// program has open, a reader sharing it lets a shared open in and one that does not keeps it out
// (docs.mql4.com/constants/io_constants/fileflags), a full disk refuses.
TEST_F(TerminalDouble, FilesStayInTheSandboxAndAreReplacedOnlyWhenAsked) {
  using namespace mql::mql4;
  EXPECT_EQ(FileOpen("memo.txt", FILE_READ | FILE_TXT), INVALID_HANDLE);
  EXPECT_EQ(GetLastError(), ERR_CANNOT_OPEN_FILE);
  for (const char* name : {"memo.txt", "memo.new"}) {
    const int file = FileOpen(name, FILE_WRITE | FILE_TXT | FILE_ANSI);
    ASSERT_NE(file, INVALID_HANDLE);
    EXPECT_EQ(FileWriteString(file, std::string(name) + "\nend\n"),
              2u * 2 + 3 + std::string(name).size());
    FileClose(file);
  }
  EXPECT_FALSE(FileMove("memo.new", 0, "memo.txt", 0));
  mql::outsideHold("memo.txt",
                   FILE_READ | FILE_SHARE_READ | FILE_SHARE_WRITE);  // a scanner reading it
  EXPECT_FALSE(FileMove("memo.new", 0, "memo.txt", FILE_REWRITE));
  const int shared = FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_SHARE_READ);
  EXPECT_NE(shared, INVALID_HANDLE);
  FileClose(shared);
  mql::outsideRelease("memo.txt");
  mql::outsideHold("memo.txt", FILE_READ);  // a backup reading it alone
  EXPECT_EQ(FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_SHARE_READ), INVALID_HANDLE);
  mql::outsideRelease("memo.txt");
  ASSERT_TRUE(FileMove("memo.new", 0, "memo.txt", FILE_REWRITE));
  const int file = FileOpen("memo.txt", FILE_READ | FILE_TXT | FILE_ANSI);
  EXPECT_EQ(FileReadString(file), "memo.new");
  EXPECT_EQ(FileReadString(file), "end");
  EXPECT_TRUE(FileIsEnding(file));
  FileClose(file);
  term.filesWritable = false;
  EXPECT_EQ(FileOpen("memo.txt", FILE_WRITE | FILE_TXT), INVALID_HANDLE);
}

// docs.mql4.com/files/fileopen: FILE_COMMON opens in the folder every terminal of the computer
// shares, and without FILE_SHARE_READ / FILE_SHARE_WRITE nobody else opens the file until it is
// closed, another terminal neither; TERMINAL_DATA_PATH names each terminal's own folder.
TEST_F(TerminalDouble, ACommonFileOpenedWithoutSharingIsTheOpenersAlone) {
  using namespace mql::mql4;
  const int held = FileOpen("Guard\\account.lock", FILE_WRITE | FILE_BIN | FILE_COMMON);
  ASSERT_NE(held, INVALID_HANDLE);
  EXPECT_TRUE(FileIsExist("Guard\\account.lock", FILE_COMMON));
  EXPECT_FALSE(FileIsExist("Guard\\account.lock"));
  mql::Terminal other{ZT_LIBRARY_FILE};
  other.shareCommonFolderWith(term);
  EXPECT_NE(TerminalInfoString(TERMINAL_DATA_PATH), term.dataFolder);
  EXPECT_EQ(FileOpen("Guard\\account.lock", FILE_WRITE | FILE_BIN | FILE_COMMON), INVALID_HANDLE);
  EXPECT_EQ(GetLastError(), ERR_CANNOT_OPEN_FILE);
  term.activate();
  FileClose(held);
  other.activate();
  const int taken = FileOpen("Guard\\account.lock", FILE_WRITE | FILE_BIN | FILE_COMMON);
  EXPECT_NE(taken, INVALID_HANDLE);
  other.crash();  // the process ends: the file is let go
  term.activate();
  EXPECT_NE(FileOpen("Guard\\account.lock", FILE_READ | FILE_BIN | FILE_COMMON | FILE_SHARE_READ),
            INVALID_HANDLE);
}

// docs.mql4.com/constants/io_constants/fileflags: another program may hold the library's settings
// file against readers; the library then starts without it and resumes it at a later call once it
// can be read, which its notice line says.
TEST_F(TerminalDouble, AnotherProgramCanHoldTheSettingsFileFromTheLibrary) {
  auto& zt = term.library();
  double initial = 0.0;
  ASSERT_GT(
      zt.InitZT(term.chartHandle, "t", &initial, 1500.0, 0, 1500.0, "50", "20", "2000", "100"),
      0.0);
  term.holdSettings();
  initial = 0.0;
  EXPECT_DOUBLE_EQ(
      zt.InitZT(term.chartHandle, "t", &initial, 1000.0, 0, 1000.0, "50", "20", "2000", "100"),
      1000.0);
  char notice[ZT_TEXT_CAPACITY] = {};
  zt.GetLabel(15, 0, notice);
  EXPECT_EQ(std::string(notice).rfind("Started without saved settings", 0), 0u) << notice;
  term.releaseSettings();
  EXPECT_DOUBLE_EQ(zt.GetEquitySnap(), 1500.0);
  zt.GetLabel(15, 0, notice);
  EXPECT_EQ(std::string(notice), "Saved settings resumed late, once the file could be read");
}

}  // namespace
}  // namespace terminal_double
