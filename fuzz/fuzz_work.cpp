#include "fuzz/fuzz_work.h"

#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <unistd.h>

#include <filesystem>

namespace {

void Quiet(const char*, const char*, va_list) {}

char workDirectory[] = "/tmp/folicant-fuzz-XXXXXX";

void RemoveWorkDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(workDirectory, ignored);
}

}  // namespace

void StartFuzzWork() {
  TIFFSetErrorHandler(Quiet);
  TIFFSetWarningHandler(Quiet);
  if (mkdtemp(workDirectory) == nullptr || chdir(workDirectory) != 0) abort();
  atexit(RemoveWorkDirectory);
  std::filesystem::create_directory("out");
}

void WriteFuzzFile(const char* name, const uint8_t* data, size_t size) {
  FILE* file = fopen(name, "wb");
  if (file == nullptr) abort();
  fwrite(data, 1, size, file);
  fclose(file);
}

void CleanFuzzWork(const char* input) {
  std::error_code ignored;
  std::filesystem::remove_all("out", ignored);
  std::filesystem::create_directory("out", ignored);
  std::filesystem::remove("folicant.log", ignored);
  std::filesystem::remove(input, ignored);
}
