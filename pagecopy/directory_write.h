// Writing a directory from its planned entries, and the header that points at the page's.
#ifndef FOLICANT_PAGECOPY_DIRECTORY_WRITE_H_
#define FOLICANT_PAGECOPY_DIRECTORY_WRITE_H_

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pagecopy/entry_plan.h"
#include "pagecopy/input_file.h"
#include "pagecopy/output_file.h"

/// Where the values written for a page so far went: entries that repeat the same stored values
/// (the same bytes of the input) or the same new numbers point at one copy of them, as in the
/// input, and cost their bytes once.
struct ValuePlaces {
  struct Hash {
    size_t operator()(const std::pair<uint64_t, uint64_t>& key) const {
      return std::hash<uint64_t>()(key.first * 0x9E3779B97F4A7C15ull ^ key.second);
    }
  };
  std::unordered_map<std::pair<uint64_t, uint64_t>, uint64_t, Hash> placed;
};

/// The new numbers of `entry`, from the `first`, in its type and the byte order given, as many as
/// fit `size` bytes; gives how many bytes it filled.
uint64_t PutNumbers(int bigEndian, const OutputEntry& entry, uint64_t first, uint8_t* bytes,
                    uint64_t size);

/// Appends to `out` the directory `entries`, in their order, with a next-directory pointer of
/// `next`: the entry list at an even offset, then each value that does not fit its entry and was
/// not written for the page before, at an even offset, stored values copied from `input` byte for
/// byte (the output has the input's byte order), recording where in `placedAt`. The directory
/// may claim at most `*budget` bytes (its list and new values), which it then uses up. Gives its
/// offset in `writtenAt`. Returns 1, or 0 when it claims too much or a read or write fails.
int WriteDirectory(InputFile* input, OutputFile* out, std::vector<OutputEntry>* entries,
                   uint64_t next, ValuePlaces* places, uint64_t* budget, uint64_t* writtenAt);

/// Writes what is gathered, then the header, pointing at the first directory. Returns 1, or 0 when
/// a write fails.
int WriteHeader(OutputFile* out, uint64_t firstDirectory);

#endif  // FOLICANT_PAGECOPY_DIRECTORY_WRITE_H_
