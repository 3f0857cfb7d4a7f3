#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "folicant_version.h"

namespace {

// Parses `tail` from a buffer that outlives the test's reads of the tokens.
class CommandLine : public ::testing::Test {
 protected:
  void Parse(const std::string& tail) {
    ResetCommandLineState();
    buffer_ = tail;
    ParseCommandLine(&buffer_[0]);
  }
  std::string buffer_;
};

TEST_F(CommandLine, SplitsOnlyAtSpacesAndTabsAndKeepsQuotesAndControlCharacters) {
  Parse("  \t\"C:\\My Files\\a.tif\"\t\t  /l \tx\ry\n  ");
  ASSERT_EQ(tokenCount, 4);
  EXPECT_STREQ(tokenTable[1], "\"C:\\My");
  EXPECT_STREQ(tokenTable[2], "Files\\a.tif\"");
  EXPECT_STREQ(tokenTable[3], "/l");
  EXPECT_STREQ(tokenTable[4], "x\ry\n");
  EXPECT_EQ(tokenTable[0], nullptr);
  EXPECT_STREQ(inputPath, "\"C:\\My");
  EXPECT_EQ(splitOptions.logFlag, 1);
}

TEST_F(CommandLine, OnlyTheFirst99TokensAreRead) {
  std::string tail;
  for (int i = 0; i < 99; ++i) tail += "/x ";
  Parse(tail + "/l a.tif");
  EXPECT_EQ(tokenCount, 99);
  EXPECT_EQ(splitOptions.logFlag, 0);
  EXPECT_EQ(splitOptions.inputSeen, 0);

  tail.clear();
  for (int i = 0; i < 98; ++i) tail += "/x ";
  Parse(tail + "/l a.tif");
  EXPECT_EQ(tokenCount, 99);
  EXPECT_EQ(splitOptions.logFlag, 1);
  EXPECT_EQ(splitOptions.inputSeen, 0);
}

TEST_F(CommandLine, OptionsTakeSlashOrDashAndACaseSensitiveLetter) {
  Parse("-page.tif /Ofax -ofax /lx /rfoo a.tif b.tif / - /q");
  EXPECT_EQ(splitOptions.outputPathSlot, 1);
  EXPECT_STREQ(OptionValue(splitOptions.outputPathSlot), "age.tif");
  EXPECT_EQ(splitOptions.outputNameSlot, 3);
  EXPECT_STREQ(OptionValue(splitOptions.outputNameSlot), "fax");
  EXPECT_EQ(splitOptions.logFlag, 1);
  EXPECT_EQ(splitOptions.removeInputFlag, 1);
  EXPECT_STREQ(inputPath, "a.tif");
  EXPECT_EQ(splitOptions.companionFileSlot, 0);
  EXPECT_EQ(splitOptions.notifyFileSlot, 0);
}

TEST_F(CommandLine, TheLastOccurrenceWinsAndAnOptionMayHaveAnEmptyValue) {
  Parse("/nfirst.flg a.tif /nsecond.flg /mone /o /mtwo");
  EXPECT_STREQ(OptionValue(splitOptions.notifyFileSlot), "second.flg");
  EXPECT_STREQ(OptionValue(splitOptions.companionFileSlot), "two");
  EXPECT_STREQ(OptionValue(splitOptions.outputNameSlot), "");
}

TEST_F(CommandLine, TheInputNameIsItsLastComponent) {
  Parse("/l C:\\scans\\fax.tif");
  EXPECT_STREQ(inputPath, "C:\\scans\\fax.tif");
  EXPECT_STREQ(inputName, "fax.tif");
  Parse("C:/scans/fax.tif");
  EXPECT_STREQ(inputName, "C:/scans/fax.tif");
  EXPECT_STREQ(LastComponent("dir\\"), "");
}

TEST_F(CommandLine, AnInputLongerThanItsBufferIsRejectedNotShortened) {
  Parse(std::string(kPathBufferSize - 1, 'a') + " /l");
  EXPECT_EQ(splitOptions.inputTooLong, 0);
  EXPECT_EQ(std::string(inputPath).size(), kPathBufferSize - 1);

  Parse(std::string(kPathBufferSize, 'a') + " b.tif");
  EXPECT_EQ(splitOptions.inputSeen, 1);
  EXPECT_EQ(splitOptions.inputTooLong, 1);
  EXPECT_STREQ(inputPath, "");
}

TEST(UsageText, MatchesTheTextShownToUsersLineByLine) {
  std::string text = kUsageText;
  EXPECT_EQ(text.size(), 364u + sizeof FOLICANT_VERSION - 1);
  const char* lines[] = {
      ("FoliCant ver. " FOLICANT_VERSION),
      "---------------------------",
      "",
      "usage: folicant input.tif [/ofile] [/ppath] [/nfile] [/mfile] [/r] [/l]",
      "",
      "       /o specify the output file name",
      "       /p specify the output path",
      "       /n specify the notify file to touch",
      "       /m specify a file to move with the tiff ones",
      "       /r deletes the original tiff file",
      "       /l logs events in folicant.log",
  };
  std::string expected;
  for (const char* line : lines) expected += std::string(line) + "\n";
  EXPECT_EQ(text, expected);
}

}  // namespace
