// Fuzz target: arbitrary bytes as the input file, split whole by the driver with every option,
// in a private temporary directory.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tiffio.h>
#include <unistd.h>

#include <filesystem>

#include "driver/command_line.h"
#include "driver/driver.h"
#include "driver/split_run.h"

namespace {

void Quiet(const char*, const char*, va_list) {}

char workDirectory[] = "/tmp/folicant-fuzz-XXXXXX";

void RemoveWorkDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(workDirectory, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // libtiff's default handlers would print for nearly every input; the split behaves the same.
  TIFFSetErrorHandler(Quiet);
  TIFFSetWarningHandler(Quiet);
  // The run works in the current directory (the log goes there), so it gets one of its own;
  // pass libFuzzer absolute paths and an absolute -artifact_prefix.
  if (mkdtemp(workDirectory) == nullptr || chdir(workDirectory) != 0) abort();
  atexit(RemoveWorkDirectory);
  std::filesystem::create_directory("out");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* input = fopen("in.tif", "wb");
  if (input == nullptr) abort();
  fwrite(data, 1, size, input);
  fclose(input);
  FILE* companion = fopen("in.dat", "wb");
  if (companion != nullptr) fclose(companion);

  ResetCommandLineState();
  ResetSplitRunState();
  char tail[] = "in.tif /pout /l /r /min.dat /ndone";
  DriverMain(tail);
  ResetSplitRunState();

  std::error_code ignored;
  std::filesystem::remove_all("out", ignored);
  std::filesystem::create_directory("out", ignored);
  std::filesystem::remove("folicant.log", ignored);
  return 0;
}
