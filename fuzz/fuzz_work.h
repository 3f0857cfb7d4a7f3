// What the fuzz targets share: a work directory of their own, and the input written into it.
#ifndef FOLICANT_FUZZ_FUZZ_WORK_H_
#define FOLICANT_FUZZ_FUZZ_WORK_H_

#include <stddef.h>
#include <stdint.h>

/// Silences libtiff (its default handlers would print for nearly every input; the split behaves
/// the same) and moves into a fresh temporary directory, removed at exit, with an empty "out"
/// directory in it. The run works in the current directory (the log goes there): pass libFuzzer
/// absolute paths and an absolute -artifact_prefix.
void StartFuzzWork();

/// Writes `size` bytes at `data` to the file `name` in the work directory.
void WriteFuzzFile(const char* name, const uint8_t* data, size_t size);

/// Removes what a run left: the outputs, the log and `input`.
void CleanFuzzWork(const char* input);

#endif  // FOLICANT_FUZZ_FUZZ_WORK_H_
