// Puts a TIFF file together byte by byte, for inputs that libtiff's writer cannot make: entries
// in the order, type and count given (any type, also one TIFF does not define), in either byte
// order, classic or BigTIFF. Blocks and directories are added bottom-up: children first, so that
// the entries pointing at them can name their offsets.
#ifndef FOLICANT_TESTS_TIFF_BUILDER_H_
#define FOLICANT_TESTS_TIFF_BUILDER_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct BuildEntry {
  uint16_t tag;
  uint16_t type;
  // The values as numbers in the entry's type: integers, floats and doubles by value, a rational
  // type as numerator, denominator pairs.
  std::vector<double> values = {};
  std::string bytes = {};  // instead of `values`: the value bytes as stored (ASCII, UNDEFINED, ...)
  uint64_t count = 0;      // 0: as many as the values make
  uint64_t at = 0;         // non-zero: the value field holds this offset, whatever the values
};

class TiffBuilder {
 public:
  TiffBuilder(bool bigEndian, bool bigTiff);
  /// Appends `bytes` at the next even offset and returns that offset.
  uint64_t Block(const std::string& bytes);
  /// Appends the values that do not fit their entries, then a directory of `entries` in the
  /// order given, with a next-directory pointer of 0; returns the directory's offset.
  uint64_t Directory(const std::vector<BuildEntry>& entries);
  /// Makes `directories` the main chain, in order.
  void Chain(const std::vector<uint64_t>& directories);
  /// Points the next-directory pointer of `directory` at `next`.
  void Follow(uint64_t directory, uint64_t next);
  /// The values of `entry` as stored in this file's byte order.
  std::string Encode(const BuildEntry& entry) const;
  const std::string& bytes() const { return bytes_; }

 private:
  void Put(uint64_t at, uint64_t value, int width);
  void PutBytes(uint64_t at, const std::string& bytes);
  std::string bytes_;
  bool bigEndian_, bigTiff_;
  std::map<uint64_t, uint64_t> nextAt_;  // directory offset -> where its next pointer lies
};

/// Bytes per value of a TIFF type, 0 for an unknown type.
uint32_t TiffTypeSize(uint16_t type);

/// `text` with its terminating NUL, as an ASCII value is stored.
std::string Ascii(const std::string& text);

#endif  // FOLICANT_TESTS_TIFF_BUILDER_H_
