#include "driver/driver.h"

#include "driver/command_line.h"
#include "driver/entry.h"
#include "driver/event_log.h"
#include "driver/post_split.h"
#include "driver/split_run.h"
#include "platform/platform.h"

void DriverMain(char* tail) {
  // Composed before tokenising, which cuts the tail up; a tail too long for the buffer is cut to
  // fit, so the line shows its start.
  ComposeMessage("Invoked with arguments '%s'", tail);
  ParseCommandLine(tail);
  LogEvent(messageBuffer);

  if (!splitOptions.inputSeen) {
    ComposeMessage("%s", kUsageText);
    LogEvent("No input file specified");
    ShowUsageBox(messageBuffer);
    return;
  }
  if (splitOptions.inputTooLong) {
    LogEvent("Input file name too long");
    return;
  }
  if (RunSplit()) RunPostSplitActions();
}

int RunFolicant(char* tail) {
  DriverMain(tail);
  LogEvent("Exit folicant");
  return 0;
}
