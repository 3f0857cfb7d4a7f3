// The program's post-split actions, end to end: removing the input, moving the companion and
// touching the notify file, in that order, only after a complete split.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/split_checks.h"
#include "tests/tiff_entries.h"
#include "tests/tiff_fixture.h"

namespace {

// Points the next-directory offset of the file's second directory past the end of the file.
void BreakThirdDirectory(const std::string& path) {
  TiffEntries file;
  ASSERT_TRUE(file.Load(path));
  std::string bytes = ReadFile(path);
  WriteLe32(bytes, file.NextPointerAt(file.Chain().at(1)), 0x7FFFFFF0);
  WriteFile(path, bytes);
}

TEST(PostSplit, NeverRemovesAnInputThatWasNotSplitToItsLastPage) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "broken.tif", SimplePages(3)));
  BreakThirdDirectory(dir / "broken.tif");
  WriteFile(dir / "text.tif", "not a TIFF file");
  RunResult run = RunProgram({"broken.tif", "/l", "/r", "/ndone"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 8u);
  EXPECT_EQ(messages[4], "2 file(s) written");
  EXPECT_EQ(messages[5], "Could not delete 'broken.tif'");
  EXPECT_EQ(messages[6], "File 'done' touched");
  EXPECT_TRUE(FileExists(dir / "broken.tif"));
  ExpectPagesSplit(dir / "broken.tif", dir / "broken", 2);

  RunProgram({"text.tif", "/r"}, dir.path());
  EXPECT_EQ(ReadFile(dir / "text.tif"), "not a TIFF file");
}

TEST(PostSplit, RemovesMovesAndTouchesInThatOrder) {
  TempDir dir;
  mkdir((dir / "in").c_str(), 0755);
  mkdir((dir / "out").c_str(), 0755);
  ASSERT_TRUE(WriteTiffFile(dir / "in/fax.tif", SimplePages(2)));
  std::string input = ReadFile(dir / "in/fax.tif");
  WriteFile(dir / "in/fax.dat", "companion");
  WriteFile(dir / "out/done.flg", "stale content");
  RunResult run =
      RunProgram({"in\\fax.tif", "/pout", "/min\\fax.dat", "/ndone.flg", "/r", "/l"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 9u);
  EXPECT_EQ(messages[4], "2 file(s) written");
  EXPECT_EQ(messages[5], "File 'in\\fax.tif' deleted");
  EXPECT_EQ(messages[6], "File 'in\\fax.dat' moved to 'out\\fax.dat'");
  EXPECT_EQ(messages[7], "File 'out\\done.flg' touched");
  EXPECT_FALSE(FileExists(dir / "in/fax.tif"));
  EXPECT_FALSE(FileExists(dir / "in/fax.dat"));
  EXPECT_EQ(ReadFile(dir / "out/fax.dat"), "companion");
  EXPECT_TRUE(FileExists(dir / "out/done.flg"));
  EXPECT_EQ(ReadFile(dir / "out/done.flg"), "");
  WriteFile(dir / "in/fax.tif", input);
  ExpectPagesSplit(dir / "in/fax.tif", dir / "out/fax", 2);
}

TEST(PostSplit, AMoveNeverReplacesAnExistingDestination) {
  TempDir dir;
  mkdir((dir / "out").c_str(), 0755);
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(1)));
  WriteFile(dir / "fax.dat", "new");
  WriteFile(dir / "out/fax.dat", "old");
  RunProgram({"fax.tif", "/pout", "/mfax.dat", "/l"}, dir.path());
  EXPECT_EQ(Messages(dir)[4], "Could not move 'fax.dat' to 'out\\fax.dat'");
  EXPECT_EQ(ReadFile(dir / "fax.dat"), "new");
  EXPECT_EQ(ReadFile(dir / "out/fax.dat"), "old");
}

TEST(PostSplit, WithoutAnOutputDirectoryTheCompanionAndNotifyFileGoToTheCurrentOne) {
  TempDir dir;
  mkdir((dir / "in").c_str(), 0755);
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(1)));
  WriteFile(dir / "in/fax.dat", "companion");
  RunProgram({"fax.tif", "/min\\fax.dat", "/nready", "/l"}, dir.path());
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages[4], "File 'in\\fax.dat' moved to 'fax.dat'");
  EXPECT_EQ(messages[5], "File 'ready' touched");
  EXPECT_EQ(ReadFile(dir / "fax.dat"), "companion");
  EXPECT_TRUE(FileExists(dir / "ready"));
}

TEST(PostSplit, ANotifyPathWithABackslashNamesThatPathAsWritten) {
  TempDir dir;
  mkdir((dir / "out").c_str(), 0755);
  mkdir((dir / "flags").c_str(), 0755);
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(1)));
  RunProgram({"fax.tif", "/pout", "/nflags\\done.flg", "/l"}, dir.path());
  EXPECT_EQ(Messages(dir)[4], "File 'flags\\done.flg' touched");
  EXPECT_TRUE(FileExists(dir / "flags/done.flg"));
  EXPECT_FALSE(FileExists(dir / "out/done.flg"));
}

TEST(PostSplit, DestinationsThatDoNotFitFailTheirStep) {
  TempDir dir;
  // Four nested directories: 999 characters, each component within the file system's limit.
  std::string deep;
  for (int level = 0; level < 4; ++level) {
    deep += (level > 0 ? "\\" : "") + std::string(249, 'd');
    std::string native = deep;
    for (char& c : native) c = c == '\\' ? '/' : c;
    ASSERT_EQ(mkdir((dir / native).c_str(), 0755), 0);
  }
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(1)));
  std::string longName(100, 'c');
  WriteFile(dir / longName, "companion");
  RunResult run =
      RunProgram({"fax.tif", "/p" + deep, "/m" + longName, "/n" + longName, "/l"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 7u);
  // The line is cut to the message buffer; the step failed without touching either file.
  EXPECT_EQ(messages[4].rfind("Could not move '" + longName + "' to '" + deep.substr(0, 500), 0),
            0u);
  EXPECT_EQ(messages[5].rfind("Could not touch '" + deep + "\\ccc", 0), 0u);
  EXPECT_EQ(ReadFile(dir / longName), "companion");
}

}  // namespace
