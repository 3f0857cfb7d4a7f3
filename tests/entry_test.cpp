// The program started as its callers start it, before any page is split.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "tests/run_program.h"
#include "tests/tiff_fixture.h"

namespace {

// What the usage leaves on standard error: the text itself on Linux; nothing from folicant.exe,
// which shows it in a box instead (closed at once by wine without a display; the box itself is
// checked by scripts/test-usage-box).
std::string UsageOutput() {
  return RunsUnderWine() ? "" : kUsageText;
}

TEST(Entry, WithoutArgumentsShowsTheUsageAndWritesNoLog) {
  TempDir dir;
  RunResult run = RunProgram({}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, UsageOutput());
  EXPECT_FALSE(FileExists(dir / "folicant.log"));
}

TEST(Entry, LogOptionAloneLogsInvocationMissingInputAndExit) {
  TempDir dir;
  RunResult run = RunProgram({"/l"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, UsageOutput());
  std::vector<std::string> expected = {"Invoked with arguments '/l'", "No input file specified",
                                       "Exit folicant"};
  EXPECT_EQ(LogMessages(ReadFile(dir / "folicant.log")), expected);
}

TEST(Entry, AppendsToAnExistingLogKeepsPercentSignsAndNeverBreaksALine) {
  TempDir dir;
  WriteFile(dir / "folicant.log", "earlier line\r\n");
  RunProgram({"/l", "-x%d%s\nnext\rone"}, dir.path());
  std::string log = ReadFile(dir / "folicant.log");
  ASSERT_EQ(log.rfind("earlier line\r\n", 0), 0u);
  EXPECT_NE(log.find(":  Invoked with arguments '/l -x%d%s?next?one'\r\n"), std::string::npos);
  std::vector<std::string> messages = LogMessages(log.substr(log.find("one'\r\n") + 6));
  std::vector<std::string> expected = {"No input file specified", "Exit folicant"};
  EXPECT_EQ(messages, expected);
}

TEST(Entry, AReadOnlyLogDoesNotStopTheRun) {
  if (RunsUnderWine()) {
    GTEST_SKIP() << "wine's prefix belongs to root, so folicant.exe runs as root, whom file modes "
                    "do not stop; ALogThatCannotBeOpenedDoesNotStopTheRun covers it there";
  }
  TempDir dir;
  WriteFile(dir / "folicant.log", "");
  chmod((dir / "folicant.log").c_str(), 0444);
  chmod(dir.path().c_str(), 0777);
  RunLimits limits;
  limits.unprivileged = true;
  RunResult run = RunProgram({"/l"}, dir.path(), limits);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, UsageOutput());
  EXPECT_EQ(ReadFile(dir / "folicant.log"), "");
}

TEST(Entry, ALogThatCannotBeOpenedDoesNotStopTheRun) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folicant.log");
  RunResult run = RunProgram({"/l"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, UsageOutput());
  EXPECT_TRUE(std::filesystem::is_empty(dir / "folicant.log"));
}

// Windows hands a program its whole command line; the tail starts after the program name and
// the bytes from 0x01 to 0x20 that follow it.
TEST(Entry, TheTailIsCutFromTheRawCommandLine) {
  if (!RunsUnderWine()) GTEST_SKIP() << "only Windows passes a raw command line";
  struct Case {
    std::string commandLine;
    std::string tail;
  };
  const Case cases[] = {
      {"\"folicant.exe\"a.tif /l", "a.tif /l"},
      {"\"C:\\My Tools\\folicant.exe\" \t/l  a.tif  ", "/l  a.tif  "},
      {"folicant.exe\t\x01\x1f /l\x05", "/l\x05"},
      {"folicant.exe\x05/l a.tif", "/l a.tif"},
      {"\"\" /l", "/l"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    TempDir dir;
    RunResult run = RunProgramWithCommandLine(c.commandLine, dir.path());
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> messages = LogMessages(ReadFile(dir / "folicant.log"));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], "Invoked with arguments '" + c.tail + "'");
  }
  // Without its closing quotation mark the whole line is the program name: no /l, no log.
  TempDir dir;
  EXPECT_EQ(RunProgramWithCommandLine("\"folicant.exe /l", dir.path()).status, 0);
  EXPECT_FALSE(FileExists(dir / "folicant.log"));
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

TEST(Entry, AFileSizeLimitBelowTheLogSkipsTheLogNotTheRun) {
  if (RunsUnderWine()) GTEST_SKIP() << "file size limits need a native run";
  TempDir dir;
  MakeShared(dir.path());
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(2)));
  chmod((dir / "fax.tif").c_str(), 0666);
  std::string oldLog(64 * 1024, 'x');
  WriteShared(dir / "folicant.log", oldLog);
  RunLimits limits = Stranger();
  limits.fileSizeLimit = 32 * 1024;
  RunResult run = RunProgram({"fax.tif", "/l", "/r"}, dir.path(), limits);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / "folicant.log"), oldLog);
  EXPECT_EQ(CountDirectories(dir / "fax.001"), 1);
  EXPECT_FALSE(FileExists(dir / "fax.tif"));
}

TEST(Entry, AnArgumentWithBlanksAndOptionTextIsOneName) {
  if (RunsUnderWine()) GTEST_SKIP() << "Windows cuts its one command line at blanks";
  TempDir dir;
  std::string name = "my fax.tif -ndone -r";
  ASSERT_TRUE(WriteTiffFile(dir / name, SimplePages(2)));
  RunResult run = RunProgram({"", name, "/l", ""}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Messages(dir)[0], "Invoked with arguments ' " + name + " /l '");
  EXPECT_EQ(Messages(dir)[1], "In: '" + name + "'; Out: 'my fax.xxx';");
  EXPECT_EQ(CountDirectories(dir / "my fax.001"), 1);
  EXPECT_TRUE(FileExists(dir / name));
  EXPECT_FALSE(FileExists(dir / "done"));
  // A missing input whose name carries options runs no action of those options.
  run = RunProgram({"missing.tif /ndone", "/l"}, dir.path());
  EXPECT_FALSE(FileExists(dir / "done"));
}
