// How TIFF lays bytes out: byte order, the types and their sizes, the header and the directory
// entries, in classic TIFF and in BigTIFF. The one place that knows it.
#ifndef FOLICANT_PAGECOPY_TIFF_FORMAT_H_
#define FOLICANT_PAGECOPY_TIFF_FORMAT_H_

#include <cstdint>

/// A file's format: BigTIFF or classic, big- or little-endian.
struct TiffLayout {
  int bigTiff;
  int bigEndian;
};

/// The `size`-byte number at `bytes`, big-endian when `bigEndian` is set.
uint64_t NumberAt(const uint8_t* bytes, int size, int bigEndian);

/// Stores `value` in `size` bytes at `bytes`, big-endian when `bigEndian` is set.
void PutNumberAt(uint8_t* bytes, int size, int bigEndian, uint64_t value);

/// Bytes per value of a TIFF type; 0 for a type TIFF does not define.
uint32_t TypeSize(uint16_t type);

/// Whether `type` is an unsigned integer type (BYTE, SHORT, LONG, LONG8, IFD, IFD8).
int IsUnsignedType(uint16_t type);

/// The `count` values of an unsigned integer `type` stored at `bytes` in the byte order given.
void ParseNumbers(const uint8_t* bytes, uint16_t type, uint32_t count, int bigEndian,
                  uint64_t* values);

/// Sizes in a directory: of its entry count (2 bytes, BigTIFF 8), of one entry (12, BigTIFF 20),
/// and of an entry's count and value fields and of the next-directory pointer (4, BigTIFF 8).
inline uint64_t CountFieldSize(int bigTiff) {
  return bigTiff ? 8 : 2;
}
inline uint64_t EntrySize(int bigTiff) {
  return bigTiff ? 20 : 12;
}
inline uint64_t OffsetSize(int bigTiff) {
  return bigTiff ? 8 : 4;
}

/// Where the next-directory pointer of a directory at `at` with `count` entries lies.
inline uint64_t NextPointerAt(int bigTiff, uint64_t at, uint64_t count) {
  return at + CountFieldSize(bigTiff) + count * EntrySize(bigTiff);
}

/// Whether `count` values of `type` fit the value field of an entry, where they are then stored.
int ValuesFitEntry(int bigTiff, uint16_t type, uint64_t count);

/// The size of the header: 8 bytes in classic TIFF, 16 in BigTIFF.
inline uint64_t HeaderSize(int bigTiff) {
  return bigTiff ? 16 : 8;
}

/// Reads a header from the first `size` bytes of a file at `bytes`: its layout and the offset of
/// its first directory. Returns 1, or 0 when the bytes are no TIFF header.
int ParseHeader(const uint8_t* bytes, uint64_t size, TiffLayout* layout, uint64_t* first);

/// Writes the header of a file of `layout` whose first directory is at `first` into `bytes`
/// (HeaderSize bytes).
void PutHeader(uint8_t* bytes, const TiffLayout& layout, uint64_t first);

#endif  // FOLICANT_PAGECOPY_TIFF_FORMAT_H_
