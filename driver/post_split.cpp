#include "driver/post_split.h"

#include <string.h>

#include "driver/command_line.h"
#include "driver/event_log.h"
#include "driver/split_run.h"
#include "platform/platform.h"

namespace {

// Length of outputPath's directory part, its last backslash included.
size_t DirectoryLength() {
  return static_cast<size_t>(LastComponent(outputPath) - outputPath);
}

// Puts `name` in place of the last component of outputPath. Returns 0, leaving outputPath as it
// was, when the result would not fit.
int ReplaceLastComponent(const char* name) {
  size_t directory = DirectoryLength();
  size_t length = strlen(name);
  if (directory + length >= sizeof outputPath) return 0;
  memmove(outputPath + directory, name, length + 1);
  return 1;
}

// Makes outputPath name `path` as it stands; 0 when it does not fit.
int ReplaceWholePath(const char* path) {
  size_t length = strlen(path);
  if (length >= sizeof outputPath) return 0;
  memmove(outputPath, path, length + 1);
  return 1;
}

// Set once /r has removed the input; its name is then free for the notify file.
int inputRemoved;

void RemoveInput() {
  // An input that was not split to its last page is never removed, nor one whose outputs are not
  // yet on the disk, nor a name that no longer holds the file that was split.
  if (inputFullySplit && SyncDirectoryOf(outputPath) &&
      RemoveFileIfSame(inputPath, inputIdentity)) {
    inputRemoved = 1;
    ComposeMessage("File '%s' deleted", inputPath);
  } else {
    ComposeMessage("Could not delete '%s'", inputPath);
  }
  LogEvent(messageBuffer);
}

void MoveCompanion() {
  const char* companion = OptionValue(splitOptions.companionFileSlot);
  const char* name = LastComponent(companion);
  if (!ReplaceLastComponent(name)) {
    ComposeMessage("Could not move '%s' to '%.*s%s'", companion,
                   static_cast<int>(DirectoryLength()), outputPath, name);
  } else if (MoveFileNoReplace(companion, outputPath)) {
    ComposeMessage("File '%s' moved to '%s'", companion, outputPath);
  } else {
    ComposeMessage("Could not move '%s' to '%s'", companion, outputPath);
  }
  LogEvent(messageBuffer);
}

void TouchNotifyFile() {
  const char* notify = OptionValue(splitOptions.notifyFileSlot);
  // A name alone goes into the output directory; a path with a backslash is taken as written.
  int hasDirectory = strchr(notify, '\\') != nullptr;
  int fits = hasDirectory ? ReplaceWholePath(notify) : ReplaceLastComponent(notify);
  if (!fits) {
    if (hasDirectory) {
      ComposeMessage("Could not touch '%s'", notify);
    } else {
      ComposeMessage("Could not touch '%.*s%s'", static_cast<int>(DirectoryLength()), outputPath,
                     notify);
    }
    LogEvent(messageBuffer);
    return;
  }
  // The notify file never replaces the input while it exists, nor an output of this run.
  int refused = (!inputRemoved && NameIsOneOf(outputPath, &inputIdentity, 1)) ||
                NameIsOneOf(outputPath, outputIdentities, outputsCreated);
  if (!refused && RecreateEmptyFile(outputPath)) {
    ComposeMessage("File '%s' touched", outputPath);
  } else {
    ComposeMessage("Could not touch '%s'", outputPath);
  }
  LogEvent(messageBuffer);
}

}  // namespace

void RunPostSplitActions() {
  inputRemoved = 0;
  if (splitOptions.removeInputFlag) RemoveInput();
  if (splitOptions.companionFileSlot != 0) MoveCompanion();
  if (splitOptions.notifyFileSlot != 0) TouchNotifyFile();
}
