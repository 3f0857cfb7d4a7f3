#include "app/command_tail.h"

#include <gtest/gtest.h>

namespace {

int TestLeadByte(unsigned char byte) {
  return byte >= 0x81 && byte <= 0x9F;
}

TEST(CommandTail, SkipsAnUnquotedProgramNameAndTheBlanksAfterIt) {
  EXPECT_STREQ(CommandLineTail("folicant.exe a.tif /l", nullptr), "a.tif /l");
  EXPECT_STREQ(CommandLineTail("folicant\t\x01\x1f  a.tif  ", nullptr), "a.tif  ");
  EXPECT_STREQ(CommandLineTail("folicant\x05x a.tif", nullptr), "x a.tif");
  EXPECT_STREQ(CommandLineTail("folicant", nullptr), "");
  EXPECT_STREQ(CommandLineTail("", nullptr), "");
}

TEST(CommandTail, AQuotedProgramNameEndsAtTheClosingQuote) {
  EXPECT_STREQ(CommandLineTail("\"C:\\My Tools\\folicant.exe\" a.tif", nullptr), "a.tif");
  EXPECT_STREQ(CommandLineTail("\"folicant.exe\"a.tif", nullptr), "a.tif");
  EXPECT_STREQ(CommandLineTail("\"folicant.exe a.tif", nullptr), "");
  EXPECT_STREQ(CommandLineTail("\"\" a.tif", nullptr), "a.tif");
}

TEST(CommandTail, ALeadByteTakesAQuoteInSecondPositionWithIt) {
  EXPECT_STREQ(CommandLineTail("\"ab\x81\"cd\" a.tif", TestLeadByte), "a.tif");
  EXPECT_STREQ(CommandLineTail("\"ab\x81\"cd\" a.tif", nullptr), "cd\" a.tif");
  // A lead byte at the very end does not run past the terminator.
  EXPECT_STREQ(CommandLineTail("\"ab\x81", TestLeadByte), "");
}

}  // namespace
