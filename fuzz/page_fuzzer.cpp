// Fuzz target: arbitrary bytes as the input, split whole with /r, then every page that counted is
// held to libtiff's view of its input page (size, layout, compression, chunk count and each
// chunk's raw bytes), and a removed input to "every page of the chain counted".
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tiffio.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/driver.h"
#include "driver/split_run.h"
#include "fuzz/fuzz_work.h"
#include "pagecopy/directory_read.h"

namespace {

struct Bytes {
  const uint8_t* data;
  size_t size;
};

int ReadBytes(void* file, uint64_t offset, void* into, uint64_t size) {
  const Bytes* bytes = static_cast<const Bytes*>(file);
  if (offset > bytes->size || size > bytes->size - offset) return 0;
  memcpy(into, bytes->data + offset, size);
  return 1;
}

// The offsets of the input's pages as its chain gives them, and whether the chain ends in a whole
// zero next pointer.
std::vector<uint64_t> Pages(const uint8_t* data, size_t size, bool* complete) {
  Bytes bytes = {data, size};
  InputFile input;
  std::vector<uint64_t> pages;
  *complete = false;
  if (StartInput(&bytes, ReadBytes, size, &input)) {
    std::set<uint64_t> seen;
    StoredDirectory directory;
    for (uint64_t at = input.firstDirectory;
         seen.insert(at).second && ReadDirectory(&input, at, &directory); at = directory.next) {
      pages.push_back(at);
      if (!directory.nextInFile) break;
      if (directory.next == 0) {
        *complete = true;
        break;
      }
    }
  }
  EndInput(&input);
  return pages;
}

// The messages of the log, its timestamps cut off.
std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  std::ifstream log("folicant.log", std::ios::binary);
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    messages.push_back(line.size() > 24 ? line.substr(24) : line);
  }
  return messages;
}

uint64_t Field32(TIFF* tiff, ttag_t tag) {
  uint32_t value = 0;
  TIFFGetField(tiff, tag, &value);
  return value;
}

uint64_t Field16(TIFF* tiff, ttag_t tag) {
  uint16_t value = 0;
  TIFFGetFieldDefaulted(tiff, tag, &value);
  return value;
}

// Whether the output page looks to libtiff as its input page does, chunk bytes included.
void ExpectSamePage(TIFF* in, TIFF* out) {
  for (ttag_t tag :
       {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_TILEWIDTH, TIFFTAG_TILELENGTH}) {
    if (Field32(in, tag) != Field32(out, tag)) abort();
  }
  for (ttag_t tag : {TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_COMPRESSION,
                     TIFFTAG_PLANARCONFIG, TIFFTAG_SAMPLEFORMAT}) {
    if (Field16(in, tag) != Field16(out, tag)) abort();
  }
  int tiled = TIFFIsTiled(in);
  uint32_t chunks = tiled ? TIFFNumberOfTiles(in) : TIFFNumberOfStrips(in);
  if (tiled != TIFFIsTiled(out) ||
      chunks != (tiled ? TIFFNumberOfTiles(out) : TIFFNumberOfStrips(out))) {
    abort();
  }
  uint64_t compared = 0;
  std::vector<uint8_t> a, b;
  for (uint32_t i = 0; i < chunks && compared < (64u << 20); ++i) {
    uint64_t size = TIFFGetStrileByteCount(in, i);
    if (size != TIFFGetStrileByteCount(out, i)) abort();
    // A chunk libtiff made up beyond the stored array (at offset 0) has no bytes of its own.
    if (size == 0 || size > (16u << 20) || TIFFGetStrileOffset(in, i) == 0) continue;
    a.resize(size);
    b.resize(size);
    tmsize_t got = tiled ? TIFFReadRawTile(in, i, a.data(), static_cast<tmsize_t>(size))
                         : TIFFReadRawStrip(in, i, a.data(), static_cast<tmsize_t>(size));
    tmsize_t put = tiled ? TIFFReadRawTile(out, i, b.data(), static_cast<tmsize_t>(size))
                         : TIFFReadRawStrip(out, i, b.data(), static_cast<tmsize_t>(size));
    // Bytes the input does not hold were never copied: the page counted without them only if
    // libtiff's count for them is not the one the copier used.
    if (got < 0) continue;
    if (put != got || memcmp(a.data(), b.data(), static_cast<size_t>(got)) != 0) abort();
    compared += size;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartFuzzWork();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFuzzFile("in.tif", data, size);
  WriteFuzzFile("copy.tif", data, size);
  ResetCommandLineState();
  ResetSplitRunState();
  char tail[] = "in.tif /pout /l /r";
  DriverMain(tail);
  ResetSplitRunState();

  std::vector<std::string> messages = LogMessages();
  size_t written = 0;
  bool completed = false;
  for (const std::string& message : messages) {
    if (message.compare(0, 9, "Writing '") == 0) ++written;
    if (message.find(" file(s) written") != std::string::npos) completed = true;
  }
  // Every page named counted, but for the last of a run that ended early.
  size_t counted = completed || written == 0 ? written : written - 1;
  bool chainComplete = false;
  std::vector<uint64_t> pages = Pages(data, size, &chainComplete);
  if (access("in.tif", F_OK) != 0 && (!completed || !chainComplete || counted != pages.size())) {
    abort();  // removed without every page of its chain counted
  }
  TIFF* in = TIFFOpen("copy.tif", "rmhc");
  for (size_t page = 0; in != nullptr && page < counted && page < pages.size(); ++page) {
    if (!TIFFSetSubDirectory(in, pages[page])) continue;
    char name[32];
    snprintf(name, sizeof name, "out/in.%03zu", page);
    TIFF* out = TIFFOpen(name, "rmc");
    if (out == nullptr) abort();  // libtiff reads the input page but not its counted output
    ExpectSamePage(in, out);
    TIFFClose(out);
  }
  if (in != nullptr) TIFFClose(in);

  CleanFuzzWork("in.tif");
  return 0;
}
