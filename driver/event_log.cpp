#include "driver/event_log.h"

#include <string.h>

#include "driver/command_line.h"
#include "platform/platform.h"

namespace {

const char kLogFileName[] = "folicant.log";

// Field, message and the closing CR LF.
char lineBuffer[kTimestampFieldLength + kMessageBufferSize + 2];

// Writes `value` as two digits, keeping its last two when it has more, 00 when negative.
char* PutTwoDigits(char* out, int value) {
  if (value < 0) value = 0;
  value %= 100;
  out[0] = static_cast<char>('0' + value / 10);
  out[1] = static_cast<char>('0' + value % 10);
  return out + 2;
}

char* PutText(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

}  // namespace

void FormatTimestamp(const std::tm& when, char* field) {
  static const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  char* out = field;
  out = PutText(out, kWeekdays[when.tm_wday >= 0 && when.tm_wday < 7 ? when.tm_wday : 0]);
  *out++ = ' ';
  out = PutTwoDigits(out, when.tm_mon + 1);
  *out++ = '/';
  out = PutTwoDigits(out, when.tm_mday);
  *out++ = '/';
  out = PutTwoDigits(out, when.tm_year % 100 + 100);  // 1899 gives 99, not a negative number
  *out++ = ' ';
  out = PutTwoDigits(out, when.tm_hour);
  *out++ = ':';
  out = PutTwoDigits(out, when.tm_min);
  *out++ = ':';
  out = PutTwoDigits(out, when.tm_sec);
  out = PutText(out, ":  ");
  *out = '\0';
}

void LogEvent(const char* message) {
  if (splitOptions.logFlag == 0) return;
  size_t length = 0;
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local != nullptr) {
    FormatTimestamp(*local, lineBuffer);
  } else {
    // A clock that gives no local time still gets a field of the same width.
    memcpy(lineBuffer, "--- --/--/-- --:--:--:  ", kTimestampFieldLength);
  }
  length = kTimestampFieldLength;
  // Messages come from messageBuffer or fixed texts, so they fit; stop short of the end regardless.
  // A CR or LF from a name would start a line of the name's choosing, so it is written as '?'.
  for (const char* p = message; *p != '\0' && length + 3 <= sizeof lineBuffer; ++p) {
    lineBuffer[length++] = *p == '\r' || *p == '\n' ? '?' : *p;
  }
  lineBuffer[length++] = '\r';
  lineBuffer[length++] = '\n';
  AppendToFile(kLogFileName, lineBuffer, length);
}
