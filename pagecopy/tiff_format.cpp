#include "pagecopy/tiff_format.h"

#include <tiffio.h>

#include <cstring>

uint64_t NumberAt(const uint8_t* bytes, int size, int bigEndian) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | bytes[bigEndian ? i : size - 1 - i];
  return value;
}

void PutNumberAt(uint8_t* bytes, int size, int bigEndian, uint64_t value) {
  for (int i = 0; i < size; ++i) {
    bytes[bigEndian ? size - 1 - i : i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

uint32_t TypeSize(uint16_t type) {
  switch (type) {
    case TIFF_BYTE:
    case TIFF_ASCII:
    case TIFF_SBYTE:
    case TIFF_UNDEFINED:
      return 1;
    case TIFF_SHORT:
    case TIFF_SSHORT:
      return 2;
    case TIFF_LONG:
    case TIFF_SLONG:
    case TIFF_FLOAT:
    case TIFF_IFD:
      return 4;
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_DOUBLE:
    case TIFF_LONG8:
    case TIFF_SLONG8:
    case TIFF_IFD8:
      return 8;
    default:
      return 0;
  }
}

int IsUnsignedType(uint16_t type) {
  return type == TIFF_BYTE || type == TIFF_SHORT || type == TIFF_LONG || type == TIFF_LONG8 ||
         type == TIFF_IFD || type == TIFF_IFD8;
}

void ParseNumbers(const uint8_t* bytes, uint16_t type, uint32_t count, int bigEndian,
                  uint64_t* values) {
  int size = static_cast<int>(TypeSize(type));
  for (uint32_t i = 0; i < count; ++i) values[i] = NumberAt(bytes + i * size, size, bigEndian);
}

int ValuesFitEntry(int bigTiff, uint16_t type, uint64_t count) {
  uint32_t size = TypeSize(type);
  return size != 0 && count <= OffsetSize(bigTiff) / size;
}

int ParseHeader(const uint8_t* bytes, uint64_t size, TiffLayout* layout, uint64_t* first) {
  if (size < 8 || bytes[0] != bytes[1] || (bytes[0] != 'I' && bytes[0] != 'M')) return 0;
  layout->bigEndian = bytes[0] == 'M';
  uint64_t version = NumberAt(bytes + 2, 2, layout->bigEndian);
  if (version == 42) {
    layout->bigTiff = 0;
    *first = NumberAt(bytes + 4, 4, layout->bigEndian);
    return 1;
  }
  // BigTIFF: 43, then the size of an offset (8) and a reserved 0.
  if (version != 43 || size < 16 || NumberAt(bytes + 4, 2, layout->bigEndian) != 8 ||
      NumberAt(bytes + 6, 2, layout->bigEndian) != 0) {
    return 0;
  }
  layout->bigTiff = 1;
  *first = NumberAt(bytes + 8, 8, layout->bigEndian);
  return 1;
}

void PutHeader(uint8_t* bytes, const TiffLayout& layout, uint64_t first) {
  memset(bytes, 0, HeaderSize(layout.bigTiff));
  bytes[0] = bytes[1] = layout.bigEndian ? 'M' : 'I';
  PutNumberAt(bytes + 2, 2, layout.bigEndian, layout.bigTiff ? 43 : 42);
  if (layout.bigTiff) {
    PutNumberAt(bytes + 4, 2, layout.bigEndian, 8);
    PutNumberAt(bytes + 8, 8, layout.bigEndian, first);
  } else {
    PutNumberAt(bytes + 4, 4, layout.bigEndian, first);
  }
}
