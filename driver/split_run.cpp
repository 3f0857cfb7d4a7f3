#include "driver/split_run.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>

#include "driver/event_log.h"
#include "pagecopy/directory_read.h"
#include "pagecopy/libtiff_io.h"
#include "pagecopy/page_copy.h"
#include "pagecopy/unknown_tags.h"
#include "platform/platform.h"

char outputPath[kPathBufferSize];
int fileCounter;
int inputFullySplit;
FileIdentity inputIdentity;
FileIdentity outputIdentities[kMaxOutputFiles];
int outputsCreated;

namespace {

constexpr size_t kMaxBaseLength = kPathBufferSize - 5;  // room for ".000" and the terminator

size_t suffixPosition;
int firstNaming = 1;
// Process-wide so that handles left open by an early end stay reachable until the process ends.
InputHandle* inputFile;
InputFile input;
TIFF* inputTiff;  // libtiff's reader of the input, where libtiff can read it
OutputHandle* outputFile;

// Appends `text` to the composed base; 0 when it would not fit, so that nothing is ever cut.
int AppendToBase(char* base, size_t capacity, const char* text, size_t length) {
  size_t used = strlen(base);
  if (length >= capacity - used) return 0;
  memcpy(base + used, text, length);
  base[used + length] = '\0';
  return 1;
}

// Directory part from /p, else from the input path, else none; then the name from /o, else the
// input name; then everything from the last dot on is cut. Returns 0 when the base is too long.
int ComposeOutputBase() {
  static char base[4 * kPathBufferSize];
  base[0] = '\0';
  int fits = 1;
  if (splitOptions.outputPathSlot != 0) {
    const char* directory = OptionValue(splitOptions.outputPathSlot);
    size_t length = strlen(directory);
    fits = AppendToBase(base, sizeof base, directory, length);
    if (fits && (length == 0 || directory[length - 1] != '\\')) {
      fits = AppendToBase(base, sizeof base, "\\", 1);
    }
  } else if (inputName != inputPath) {
    fits = AppendToBase(base, sizeof base, inputPath, static_cast<size_t>(inputName - inputPath));
  }
  const char* name = splitOptions.outputNameSlot != 0
                         ? LastComponent(OptionValue(splitOptions.outputNameSlot))
                         : inputName;
  if (fits) fits = AppendToBase(base, sizeof base, name, strlen(name));
  if (!fits) return 0;
  char* dot = strrchr(base, '.');
  if (dot != nullptr) *dot = '\0';
  if (strlen(base) > kMaxBaseLength) return 0;
  strcpy(outputPath, base);
  return 1;
}

// The output file as the page copier reaches it.
int WriteOutput(void* file, uint64_t offset, const void* bytes, uint64_t size) {
  return WriteOutputAt(static_cast<OutputHandle*>(file), offset, bytes, size);
}

// With /r the outputs must reach the disk before the input goes. Each MiB written starts on its
// way at once, so that the disk writes while the copier reads it back and goes on (a split of
// large pages with /r then takes three quarters of the time it took, raw8); smaller outputs wait
// for the one flush at the end, which is cheaper than many small write-backs (fax500).
constexpr uint64_t kWriteBackEvery = 1 << 20;
uint64_t notStartedBytes;

int WriteOutputAhead(void* file, uint64_t offset, const void* bytes, uint64_t size) {
  OutputHandle* output = static_cast<OutputHandle*>(file);
  if (!WriteOutputAt(output, offset, bytes, size)) return 0;
  notStartedBytes += size;
  if (notStartedBytes < kWriteBackEvery) return 1;
  notStartedBytes = 0;
  return StartWriteBack(output);
}

int ReadOutput(void* file, uint64_t offset, void* bytes, uint64_t size) {
  return ReadOutputAt(static_cast<OutputHandle*>(file), offset, bytes, size);
}

int ReadInputBytes(void* file, uint64_t offset, void* bytes, uint64_t size) {
  return ReadInputAt(static_cast<InputHandle*>(file), offset, bytes, size);
}

// Opens the input as a TIFF file for the page copier, and libtiff's reader of it. 0 when it is
// missing, not a regular file or not TIFF.
int OpenInput() {
  uint64_t size = 0;
  inputFile = OpenInputFile(inputPath, &inputIdentity, &size);
  if (inputFile == nullptr) return 0;
  if (!StartInput(inputFile, ReadInputBytes, size, &input)) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Not a TIFF file", inputPath);
    return 0;
  }
  input.name = inputPath;
  inputTiff = OpenLibtiffOnInput(&input);
  return 1;
}

// Writes the page `directory`, stored at `at`, into the next output file. 0 when the run ends
// early.
int WritePage(uint64_t at, const StoredDirectory& directory) {
  char perFileName[kPathBufferSize];
  memcpy(perFileName, outputPath, sizeof perFileName);
  ComposeMessage("Writing '%s'", perFileName);
  LogEvent(messageBuffer);
  // A name that is the input itself is refused: creating it would empty the input.
  outputFile = CreateOutputFile(perFileName, inputIdentity, &outputIdentities[outputsCreated]);
  if (outputFile == nullptr) return 0;
  notStartedBytes = 0;
  ++outputsCreated;
  // A page counts once it was written and read back whole; its chunks too when the input is to
  // go.
  PageInput page = {&input, inputTiff};
  int removing = splitOptions.removeInputFlag;
  PageFile file = {outputFile, removing ? WriteOutputAhead : WriteOutput, ReadOutput};
  if (!CopyPage(&page, at, directory, file, removing)) {
    return 0;
  }
  // Outputs that replace the input must outlast a power loss before the input goes.
  if (splitOptions.removeInputFlag && !SyncOutputFile(outputFile)) return 0;
  // A close that reports a failure (a network share that could not store the file) ends the run
  // like a failed page.
  int closed = CloseOutputFile(outputFile);
  outputFile = nullptr;
  return closed;
}

void CloseInput() {
  if (inputTiff != nullptr) CloseLibtiff(inputTiff);
  inputTiff = nullptr;
  EndInput(&input);
  if (inputFile != nullptr) CloseInputFile(inputFile);
  inputFile = nullptr;
}

}  // namespace

int NextOutputName() {
  if (firstNaming) {
    firstNaming = 0;
    suffixPosition = strlen(outputPath);
  }
  if (fileCounter == kMaxOutputFiles) {
    LogEvent("Too many files");
    exit(1);
  }
  char suffix[8];
  snprintf(suffix, sizeof suffix, ".%03d", fileCounter);
  memcpy(outputPath + suffixPosition, suffix, 5);
  return ++fileCounter;
}

int RunSplit() {
  if (!ComposeOutputBase()) {
    LogEvent("Output path too long");
    return 0;
  }
  ComposeMessage("In: '%s'; Out: '%s.xxx';", inputPath, outputPath);
  LogEvent(messageBuffer);

  int count = 0;
  SkipCompressionSchemes();
  if (OpenInput()) {
    // The file's own chain of directories is the list of pages, whatever libtiff makes of each.
    // A directory that cannot be read, a cut next pointer or a chain that loops ends the walk;
    // only a whole, zero next pointer means that every page was split.
    std::set<uint64_t> seen;
    StoredDirectory directory;
    for (uint64_t at = input.firstDirectory;
         seen.insert(at).second && ReadDirectory(&input, at, &directory); at = directory.next) {
      count = NextOutputName();
      if (!WritePage(at, directory)) return 0;
      if (!directory.nextInFile) break;
      if (directory.next == 0) {
        inputFullySplit = 1;
        break;
      }
    }
  }
  CloseInput();
  ComposeMessage("%d file(s) written", count);
  LogEvent(messageBuffer);
  return 1;
}

void ResetSplitRunState() {
  memset(outputPath, 0, sizeof outputPath);
  fileCounter = 0;
  inputFullySplit = 0;
  inputIdentity = FileIdentity();
  outputsCreated = 0;
  suffixPosition = 0;
  firstNaming = 1;
  if (outputFile != nullptr) CloseOutputFile(outputFile);
  outputFile = nullptr;
  CloseInput();
}
