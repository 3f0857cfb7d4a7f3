// The event log: timestamped lines appended to "folicant.log" in the current directory, written
// only when logging is on.
#ifndef FOLICANT_DRIVER_EVENT_LOG_H_
#define FOLICANT_DRIVER_EVENT_LOG_H_

#include <cstddef>
#include <ctime>

constexpr size_t kTimestampFieldLength = 24;

/// Appends the line "<timestamp field><message>\r\n" when logging is on; every CR and LF inside
/// the message is written as '?', so a message never spans lines. The message is written as it
/// stands otherwise ('%' is text). A log that cannot be opened or written (a link, a FIFO, a file
/// at the file-size limit) loses the line and nothing else happens.
void LogEvent(const char* message);

/// Writes the 24-character field "Www mm/dd/yy HH:MM:SS:  " for `when` into `field`, which holds
/// at least kTimestampFieldLength + 1 bytes, and terminates it. Fields out of their calendar range
/// are clamped to two digits, so the field never grows.
void FormatTimestamp(const std::tm& when, char* field);

#endif  // FOLICANT_DRIVER_EVENT_LOG_H_
