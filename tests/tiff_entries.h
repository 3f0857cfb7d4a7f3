// A small reader of a TIFF file's directory entries, straight from its bytes, for tests that
// compare what the program wrote with what it read without going through libtiff or the copier.
#ifndef FOLICANT_TESTS_TIFF_ENTRIES_H_
#define FOLICANT_TESTS_TIFF_ENTRIES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/tiff_builder.h"

struct TiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint64_t count = 0;
  std::string values;  // the count * type-size bytes of the values, in the file's byte order
  uint64_t at = 0;     // where the values lie: inside the entry when they fit there
  bool inFile = true;  // false: the values do not lie inside the file (`values` is empty)
};

class TiffEntries {
 public:
  /// Reads the file's header; false when it is not a TIFF file.
  bool Load(const std::string& path);
  /// The same for a file's bytes in memory.
  bool Parse(const std::string& bytes);
  bool bigEndian() const { return bigEndian_; }
  bool bigTiff() const { return bigTiff_; }
  /// Offsets of the directories of the main chain, in order.
  std::vector<uint64_t> Chain() const;
  /// The next-directory pointer of the directory at `directory` (0 where the file ends first),
  /// and where that pointer lies.
  uint64_t NextOf(uint64_t directory) const;
  uint64_t NextPointerAt(uint64_t directory) const;
  /// The entries of the directory at `offset`; false when the entry list does not lie in the
  /// file whole.
  bool Directory(uint64_t offset, std::vector<TiffEntry>* entries) const;
  /// The values of an entry of an integer type as numbers, of a rational type as num/den.
  std::vector<double> Numbers(const TiffEntry& entry) const;
  /// `size` bytes at `offset`, or less when the file ends first.
  std::string Bytes(uint64_t offset, uint64_t size) const;

 private:
  uint64_t Unsigned(uint64_t at, int size) const;
  std::string bytes_;
  bool bigEndian_ = false;
  bool bigTiff_ = false;
};

/// Overwrites value `index` of tag `tag` (of type SHORT, LONG or IFD) in the first directory of the
/// TIFF file at `path`, for inputs that libtiff's writing API refuses to make. Returns false when
/// the directory has no such tag or value.
bool PatchTagValue(const std::string& path, uint16_t tag, uint32_t index, uint32_t value);

/// The entry of `tag` in `entries`, or NULL.
const TiffEntry* FindTiffEntry(const std::vector<TiffEntry>& entries, uint16_t tag);

#endif  // FOLICANT_TESTS_TIFF_ENTRIES_H_
