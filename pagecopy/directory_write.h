// Writing a directory from its stored entries, and reading it back to check it.
#ifndef FOLICANT_PAGECOPY_DIRECTORY_WRITE_H_
#define FOLICANT_PAGECOPY_DIRECTORY_WRITE_H_

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "pagecopy/directory_entries.h"
#include "pagecopy/entry_roles.h"
#include "pagecopy/output_file.h"

/// One entry of a directory to write: the stored entry's type, count and value bytes, or (when
/// `renumbered`) new unsigned values in `type`, for the entries that locate bytes of the file.
struct OutputEntry {
  DirectoryEntry stored;
  EntryRole role;
  int renumbered;
  uint16_t type;
  std::vector<uint64_t> numbers;
  uint64_t placedAt;  // where WriteDirectory appended the values, when they do not fit the entry
};

/// The narrowest of the stored type and the wider unsigned types that holds `largest`, for new
/// offsets and counts: SHORT or LONG offsets that no longer fit become LONG, or LONG8 (IFD8) in
/// BigTIFF. 0 when none does (a value past 4 GiB in a classic file).
uint16_t TypeHolding(int bigTiff, uint16_t storedType, uint64_t largest);

/// Appends to `out` the directory `entries`, in their order, with a next-directory pointer of 0:
/// the entry list at an even offset, then each value that does not fit its entry, at an even
/// offset, stored values copied from `input` byte for byte (the output has the input's byte
/// order), recording where in `placedAt`. The directory may claim at most `*budget` bytes (its
/// list and values), which it then uses up. Gives its offset in `writtenAt`. Returns 1, or 0 when
/// it claims too much or a read or write fails.
int WriteDirectory(TIFF* input, OutputFile* out, std::vector<OutputEntry>* entries,
                   uint64_t* budget, uint64_t* writtenAt);

/// Reads back the directory written at `writtenAt` from the file of `out` (flushed) and compares
/// it with `entries`: the same number of entries, each with the same tag, type and count, the
/// stored value bytes where they were placed and as they are in `input` (or as they were written
/// from it, while `out` still holds them), or the new numbers, every strip or tile placed inside
/// the file, and no next directory. Returns 1 when all match, 0 otherwise.
int CheckDirectory(TIFF* input, OutputFile* out, uint64_t writtenAt,
                   const std::vector<OutputEntry>& entries);

#endif  // FOLICANT_PAGECOPY_DIRECTORY_WRITE_H_
