// Fuzz target: arbitrary bytes as the input file, split whole by the driver with every option,
// in a private temporary directory.
#include <stddef.h>
#include <stdint.h>

#include "driver/command_line.h"
#include "driver/driver.h"
#include "driver/split_run.h"
#include "fuzz/fuzz_work.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartFuzzWork();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFuzzFile("in.tif", data, size);
  WriteFuzzFile("in.dat", data, 0);

  ResetCommandLineState();
  ResetSplitRunState();
  char tail[] = "in.tif /pout /l /r /min.dat /ndone";
  DriverMain(tail);
  ResetSplitRunState();

  CleanFuzzWork("in.dat");
  return 0;
}
