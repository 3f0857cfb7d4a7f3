#include "driver/split_run.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver/event_log.h"
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
TIFF* inputTiff;
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
int ReadOutput(void* file, uint64_t offset, void* bytes, uint64_t size) {
  return ReadOutputAt(static_cast<OutputHandle*>(file), offset, bytes, size);
}

// libtiff reads a next-directory pointer cut off by the end of the file as 0, "no more
// directories", yet the file may have gone on. The directory is the last only when its whole
// pointer (after the entry count and the entries: 2 + 12n + 4 bytes, BigTIFF 8 + 20n + 8) lies
// inside the file and reads zero. Read through the input's own I/O procedures.
int NextPointerIsWholeAndZero(TIFF* tiff) {
  thandle_t handle = TIFFClientdata(tiff);
  TIFFReadWriteProc read = TIFFGetReadProc(tiff);
  TIFFSeekProc seek = TIFFGetSeekProc(tiff);
  int big = TIFFIsBigTIFF(tiff);
  tmsize_t countSize = big ? 8 : 2;
  tmsize_t pointerSize = big ? 8 : 4;
  unsigned char bytes[8];
  uint64_t offset = TIFFCurrentDirOffset(tiff);
  if (seek(handle, offset, SEEK_SET) != offset || read(handle, bytes, countSize) != countSize) {
    return 0;
  }
  uint64_t count = 0;
  for (tmsize_t i = 0; i < countSize; ++i) {
    count |= static_cast<uint64_t>(bytes[TIFFIsBigEndian(tiff) ? countSize - 1 - i : i]) << (8 * i);
  }
  if (count > (UINT64_MAX - offset - 8) / 20) return 0;
  uint64_t pointer = offset + static_cast<uint64_t>(countSize) + count * (big ? 20 : 12);
  if (seek(handle, pointer, SEEK_SET) != pointer ||
      read(handle, bytes, pointerSize) != pointerSize) {
    return 0;
  }
  for (tmsize_t i = 0; i < pointerSize; ++i) {
    if (bytes[i] != 0) return 0;
  }
  return 1;
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
  // Read, not memory-mapped ("m"): a mapping keeps every copied page of the input resident in
  // this process, so splitting a 1 GB file would hold 1 GB; plain reads go through the copier's one
  // fixed buffer and are faster as well. Strips are not chopped ("c"): each page keeps its stored
  // strips.
  inputTiff = OpenInputTiff(inputPath, "rmc", &inputIdentity);
  if (inputTiff != nullptr) {
    for (;;) {
      count = NextOutputName();
      char perFileName[kPathBufferSize];
      memcpy(perFileName, outputPath, sizeof perFileName);
      ComposeMessage("Writing '%s'", perFileName);
      LogEvent(messageBuffer);
      // A name that is the input itself is refused: creating it would empty the input.
      outputFile = CreateOutputFile(perFileName, inputIdentity, &outputIdentities[outputsCreated]);
      if (outputFile == nullptr) return 0;
      ++outputsCreated;
      // Outputs keep the input's byte order and format: the raw sample bytes are copied
      // unchanged, so a page of more than 8 bits per sample reads back right only in its own
      // byte order. A page counts once it was written and read back whole.
      if (!CopyPage(inputTiff, PageFile{outputFile, WriteOutput, ReadOutput})) return 0;
      // Outputs that replace the input must outlast a power loss before the input goes.
      if (splitOptions.removeInputFlag && !SyncOutputFile(outputFile)) return 0;
      // A close that reports a failure (a network share that could not store the file) ends
      // the run like a failed page.
      int closed = CloseOutputFile(outputFile);
      outputFile = nullptr;
      if (!closed) return 0;
      // A directory that cannot be read also ends the loop; only the real last one means that
      // every page was split.
      int wasLast = TIFFLastDirectory(inputTiff) && NextPointerIsWholeAndZero(inputTiff);
      if (!TIFFReadDirectory(inputTiff)) {
        inputFullySplit = wasLast;
        break;
      }
    }
    TIFFClose(inputTiff);
    inputTiff = nullptr;
  }
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
  if (inputTiff != nullptr) TIFFClose(inputTiff);
  inputTiff = nullptr;
  outputFile = nullptr;
}
