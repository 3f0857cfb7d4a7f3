// The program started as its callers start it, before any page is split.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "driver/command_line.h"
#include "tests/run_program.h"

namespace {

TEST(Entry, WithoutArgumentsShowsTheUsageAndWritesNoLog) {
  TempDir dir;
  RunResult run = RunProgram({}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, kUsageText);
  EXPECT_FALSE(FileExists(dir / "folicant.log"));
}

TEST(Entry, LogOptionAloneLogsInvocationMissingInputAndExit) {
  TempDir dir;
  RunResult run = RunProgram({"/l"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, kUsageText);
  std::vector<std::string> expected = {"Invoked with arguments '/l'", "No input file specified",
                                       "Exit folicant"};
  EXPECT_EQ(LogMessages(ReadFile(dir / "folicant.log")), expected);
}

TEST(Entry, AppendsToAnExistingLogAndKeepsLineFeedsAndPercentSigns) {
  TempDir dir;
  WriteFile(dir / "folicant.log", "earlier line\r\n");
  RunProgram({"/l", "-x%d%s\nnext"}, dir.path());
  std::string log = ReadFile(dir / "folicant.log");
  ASSERT_EQ(log.rfind("earlier line\r\n", 0), 0u);
  EXPECT_NE(log.find(":  Invoked with arguments '/l -x%d%s\r\nnext'\r\n"), std::string::npos);
  std::vector<std::string> messages = LogMessages(log.substr(log.find("next'\r\n") + 7));
  std::vector<std::string> expected = {"No input file specified", "Exit folicant"};
  EXPECT_EQ(messages, expected);
}

TEST(Entry, AReadOnlyLogDoesNotStopTheRun) {
  TempDir dir;
  WriteFile(dir / "folicant.log", "");
  chmod((dir / "folicant.log").c_str(), 0444);
  chmod(dir.path().c_str(), 0777);
  RunLimits limits;
  limits.unprivileged = true;
  RunResult run = RunProgram({"/l"}, dir.path(), limits);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, kUsageText);
  EXPECT_EQ(ReadFile(dir / "folicant.log"), "");
}

TEST(Entry, AnOverlongTailIsCutInItsLineAndAnOverlongInputTouchesNothing) {
  TempDir dir;
  std::string name(2000, 'n');
  RunResult run = RunProgram({"/l", name, "/r"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = LogMessages(ReadFile(dir / "folicant.log"));
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].size(), kMessageBufferSize - 1);
  EXPECT_EQ(messages[0].rfind("Invoked with arguments '/l nnn", 0), 0u);
  EXPECT_EQ(messages[1], "Input file name too long");
  EXPECT_EQ(messages[2], "Exit folicant");
}

}  // namespace
