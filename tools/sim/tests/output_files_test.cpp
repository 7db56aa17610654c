// Output files written whole: a write that fails part-way leaves the file that was there, and no
// half-written copy beside it.
#include "system/output_files.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>

#include "sim_test_support.h"

namespace zt::sim {
namespace {

TEST(OutputFiles, AFailedWriteLeavesTheOldFileAndNothingElse) {
  testing::TempFolder folder;
  const std::string path = folder.File("run.json");
  system::WriteWholeFile(path, "{\"end\": 1}\n");
  const auto failing = [](std::ostream& out) {
    out << std::string(1 << 20, ' ');  // well past what a stream buffers
    throw std::runtime_error("the run failed while writing");
  };
  EXPECT_THROW(system::WriteWholeFile(path, failing), std::runtime_error);
  EXPECT_EQ(testing::ReadFile(path), "{\"end\": 1}\n");
  EXPECT_EQ(testing::FilesStartingWith(folder.path, "").size(), 1u);
  // A folder in the way is no file to replace: refused, and the check before a run says so too.
  const std::string inTheWay = folder.File("report.html");
  system::WriteWholeFile(inTheWay + "/x", "x");
  EXPECT_THROW(system::WriteWholeFile(inTheWay, "<html>"), std::runtime_error);
  EXPECT_NE(system::CheckWritable(inTheWay).find("it is a folder"), std::string::npos);
  // A new folder below one that exists is made by the run: no refusal.
  EXPECT_EQ(system::CheckWritable(folder.File("new/deeper/run.json")), "");
  system::WriteWholeFile(folder.File("new/deeper/run.json"), "{}");
  EXPECT_EQ(testing::ReadFile(folder.File("new/deeper/run.json")), "{}");
}

}  // namespace
}  // namespace zt::sim
