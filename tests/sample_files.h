// TIFF files put together byte by byte for the tests and the fuzzer's seeds: pages libtiff
// refuses or reads otherwise than stored, and pages that repeat entries without end.
#ifndef FOLICANT_TESTS_SAMPLE_FILES_H_
#define FOLICANT_TESTS_SAMPLE_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/tiff_builder.h"

/// The entries of a page of `samples` 8-bit samples per pixel, a strip per row (of a few bytes,
/// uncompressed, so that libtiff reads the page), its offsets stored as `offsetType`.
std::vector<BuildEntry> ImageEntries(TiffBuilder& file, uint32_t width, uint32_t height,
                                     uint16_t samples, uint16_t photometric, uint16_t offsetType);

/// `entries` in tag order.
std::vector<BuildEntry> Sorted(std::vector<BuildEntry> entries);

/// Sets the entry of `tag` in `entries` to `type` and `values`, adding it in tag order.
void SetEntry(std::vector<BuildEntry>* entries, uint16_t tag, uint16_t type,
              std::vector<double> values);

/// Nine pages libtiff refuses or reads otherwise than stored, and linked directories it will not
/// read: per-sample values that differ (first, in the middle, last), strip arrays longer and
/// shorter than the geometry implies, chunks under the other layout's tags, sizes and schemes
/// stored as LONG8, a SubIFD holding only a JPEG thumbnail, and a SubIFD chain whose second
/// member has a SubIFD and an EXIF directory of its own.
std::string EveryDirectoryFile(bool bigEndian, bool bigTiff);

/// A page of a million one-row strips in a few kilobytes, whose one-strip StripOffsets entry is
/// repeated `repeats` times.
std::string RepeatedOffsetsFile(int repeats);

/// A page whose EXIF link to 4,095 empty directories is repeated `repeats` times, each repeat
/// pointing at the same list.
std::string RepeatedLinksFile(int repeats);

#endif  // FOLICANT_TESTS_SAMPLE_FILES_H_
