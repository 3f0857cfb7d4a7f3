#include "driver/driver.h"

#include <string.h>

#include "driver/command_line.h"
#include "driver/entry.h"
#include "driver/event_log.h"
#include "driver/post_split.h"
#include "driver/split_run.h"
#include "platform/platform.h"

namespace {

// Adds `text` to messageBuffer at `*used`, cut where the buffer ends, as ComposeMessage cuts.
void AddToMessage(size_t* used, const char* text) {
  while (*text != '\0' && *used + 1 < sizeof messageBuffer) messageBuffer[(*used)++] = *text++;
  messageBuffer[*used] = '\0';
}

void RunParsedCommandLine() {
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

}  // namespace

void DriverMain(char* tail) {
  // Composed before tokenising, which cuts the tail up; a tail too long for the buffer is cut to
  // fit, so the line shows its start.
  ComposeMessage("Invoked with arguments '%s'", tail);
  ParseCommandLine(tail);
  RunParsedCommandLine();
}

void DriverMainWithArguments(int count, char* const* arguments) {
  // The invocation line shows the arguments joined with single spaces, cut to fit like a tail.
  size_t used = 0;
  AddToMessage(&used, "Invoked with arguments '");
  for (int i = 0; i < count; ++i) {
    if (i > 0) AddToMessage(&used, " ");
    AddToMessage(&used, arguments[i]);
  }
  AddToMessage(&used, "'");
  ParseArguments(count, arguments);
  RunParsedCommandLine();
}

int RunFolicant(char* tail) {
  DriverMain(tail);
  LogEvent("Exit folicant");
  return 0;
}

int RunFolicantWithArguments(int count, char* const* arguments) {
  DriverMainWithArguments(count, arguments);
  LogEvent("Exit folicant");
  return 0;
}
