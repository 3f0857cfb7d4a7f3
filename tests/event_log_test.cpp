#include "driver/event_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Field(int year, int month, int day, int weekday, int hour, int minute, int second) {
  std::tm when = {};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_wday = weekday;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  char field[kTimestampFieldLength + 1];
  FormatTimestamp(when, field);
  return field;
}

TEST(Timestamp, IsBuiltFieldByFieldWithZeroPadding) {
  EXPECT_EQ(Field(1999, 6, 10, 4, 8, 27, 31), "Thu 06/10/99 08:27:31:  ");
  EXPECT_EQ(Field(2000, 1, 2, 0, 0, 5, 9), "Sun 01/02/00 00:05:09:  ");
  EXPECT_EQ(Field(1999, 12, 31, 5, 23, 59, 59), "Fri 12/31/99 23:59:59:  ");
  EXPECT_EQ(Field(2026, 12, 9, 3, 6, 3, 0), "Wed 12/09/26 06:03:00:  ");
}

TEST(Timestamp, IsAlways24CharactersEvenForOddCalendarValues) {
  EXPECT_EQ(Field(1899, 12, 31, 0, 23, 59, 60).size(), kTimestampFieldLength);
  EXPECT_EQ(Field(12345, 1, 1, 9, -1, 0, 0).size(), kTimestampFieldLength);
  EXPECT_EQ(Field(2001, 1, 1, 1, 0, 0, 0), "Mon 01/01/01 00:00:00:  ");
}

}  // namespace
