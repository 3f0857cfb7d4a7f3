#include "driver/command_line.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "folicant_version.h"

TokenTable tokenTable;
int tokenCount;
SplitOptions splitOptions;
char inputPath[kPathBufferSize];
const char* inputName = inputPath;
char messageBuffer[kMessageBufferSize];

const char kUsageText[] =
    "FoliCant ver. " FOLICANT_VERSION "\n"
    "---------------------------\n"
    "\n"
    "usage: folicant input.tif [/ofile] [/ppath] [/nfile] [/mfile] [/r] [/l]\n"
    "\n"
    "       /o specify the output file name\n"
    "       /p specify the output path\n"
    "       /n specify the notify file to touch\n"
    "       /m specify a file to move with the tiff ones\n"
    "       /r deletes the original tiff file\n"
    "       /l logs events in folicant.log\n";

namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t';
}

void CollectTokens(char* tail) {
  char* p = tail;
  while (tokenCount < kTokenSlots - 1) {
    while (IsSeparator(*p)) ++p;
    if (*p == '\0') return;
    tokenTable[++tokenCount] = p;
    while (*p != '\0' && !IsSeparator(*p)) ++p;
    if (*p == '\0') return;
    *p++ = '\0';
  }
}

void ReadOption(int slot) {
  switch (tokenTable[slot][1]) {
    case 'l':
      splitOptions.logFlag = 1;
      break;
    case 'm':
      splitOptions.companionFileSlot = slot;
      break;
    case 'n':
      splitOptions.notifyFileSlot = slot;
      break;
    case 'o':
      splitOptions.outputNameSlot = slot;
      break;
    case 'p':
      splitOptions.outputPathSlot = slot;
      break;
    case 'r':
      splitOptions.removeInputFlag = 1;
      break;
    default:
      break;
  }
}

void TakeInput(const char* token) {
  splitOptions.inputSeen = 1;
  size_t length = strlen(token);
  if (length >= kPathBufferSize) {
    splitOptions.inputTooLong = 1;
    return;
  }
  memcpy(inputPath, token, length + 1);
  inputName = LastComponent(inputPath);
}

void ReadTokens() {
  for (int slot = 1; slot <= tokenCount; ++slot) {
    const char* token = tokenTable[slot];
    if (token[0] == '/' || token[0] == '-') {
      ReadOption(slot);
    } else if (!splitOptions.inputSeen) {
      TakeInput(token);
    }
  }
}

}  // namespace

void ComposeMessage(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(messageBuffer, sizeof messageBuffer, format, arguments);
  va_end(arguments);
}

void ParseCommandLine(char* tail) {
  CollectTokens(tail);
  ReadTokens();
}

void ParseArguments(int count, char* const* arguments) {
  for (int i = 0; i < count && tokenCount < kTokenSlots - 1; ++i) {
    if (arguments[i][0] != '\0') tokenTable[++tokenCount] = arguments[i];
  }
  ReadTokens();
}

const char* OptionValue(int32_t slot) {
  const char* token = tokenTable[slot];
  return token[1] == '\0' ? token + 1 : token + 2;
}

const char* LastComponent(const char* path) {
  const char* separator = strrchr(path, '\\');
  return separator != nullptr ? separator + 1 : path;
}

void ResetCommandLineState() {
  memset(tokenTable, 0, sizeof tokenTable);
  tokenCount = 0;
  memset(&splitOptions, 0, sizeof splitOptions);
  memset(inputPath, 0, sizeof inputPath);
  inputName = inputPath;
  memset(messageBuffer, 0, sizeof messageBuffer);
}
