#include "pagecopy/directory_entries.h"

#include <cstdio>
#include <cstring>

namespace {

// The largest entry list read: classic TIFF stores the count in 16 bits, and no writer makes a
// BigTIFF directory larger than that; a bigger count is damage.
const uint64_t kMaxEntries = 65535;

}  // namespace

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

int ReadFileBytes(TIFF* tiff, uint64_t offset, void* buffer, uint64_t size) {
  thandle_t client = TIFFClientdata(tiff);
  if (TIFFGetSeekProc(tiff)(client, offset, SEEK_SET) != offset) return 0;
  uint8_t* into = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    tmsize_t step = size > static_cast<uint64_t>(TIFF_TMSIZE_T_MAX) ? TIFF_TMSIZE_T_MAX
                                                                    : static_cast<tmsize_t>(size);
    tmsize_t got = TIFFGetReadProc(tiff)(client, into, step);
    if (got <= 0) return 0;
    into += got;
    size -= static_cast<uint64_t>(got);
  }
  return 1;
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

int ValuesFitEntry(int bigTiff, uint16_t type, uint64_t count) {
  uint32_t size = TypeSize(type);
  return size != 0 && count <= (bigTiff ? 8u : 4u) / size;
}

void ParseEntries(const uint8_t* list, uint64_t count, int bigTiff, int bigEndian, uint64_t listAt,
                  std::vector<DirectoryEntry>* entries) {
  int entrySize = bigTiff ? 20 : 12;
  int fieldSize = bigTiff ? 8 : 4;  // the count and the value-or-offset fields
  entries->resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* raw = list + i * entrySize;
    DirectoryEntry& entry = (*entries)[i];
    entry.tag = static_cast<uint16_t>(NumberAt(raw, 2, bigEndian));
    entry.type = static_cast<uint16_t>(NumberAt(raw + 2, 2, bigEndian));
    entry.count = NumberAt(raw + 4, fieldSize, bigEndian);
    memset(entry.field, 0, sizeof entry.field);
    memcpy(entry.field, raw + 4 + fieldSize, fieldSize);
    // Values that fit the value field are stored in it; anything else lies at the offset it holds.
    // An unknown type's values have no size to decide by: they are never read.
    entry.inField = ValuesFitEntry(bigTiff, entry.type, entry.count);
    entry.valueAt = entry.inField ? listAt + i * entrySize + 4 + fieldSize
                                  : NumberAt(raw + 4 + fieldSize, fieldSize, bigEndian);
  }
}

int ReadDirectoryEntries(TIFF* tiff, uint64_t offset, std::vector<DirectoryEntry>* entries) {
  entries->clear();
  int bigTiff = TIFFIsBigTIFF(tiff);
  int bigEndian = TIFFIsBigEndian(tiff);
  int countSize = bigTiff ? 8 : 2;
  uint8_t head[8];
  if (!ReadFileBytes(tiff, offset, head, countSize)) return 0;
  uint64_t count = NumberAt(head, countSize, bigEndian);
  if (count > kMaxEntries) return 0;
  std::vector<uint8_t> list(count * (bigTiff ? 20 : 12));
  if (count > 0 && !ReadFileBytes(tiff, offset + countSize, list.data(), list.size())) return 0;
  ParseEntries(list.data(), count, bigTiff, bigEndian, offset + countSize, entries);
  return 1;
}

const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint16_t tag) {
  for (const DirectoryEntry& entry : entries) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
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

int ReadEntryNumbers(TIFF* tiff, const DirectoryEntry& entry, uint64_t* values, uint32_t count) {
  if (!IsUnsignedType(entry.type) || entry.count < count) return 0;
  uint32_t size = TypeSize(entry.type);
  int bigEndian = TIFFIsBigEndian(tiff);
  uint8_t bytes[512];
  for (uint32_t done = 0; done < count;) {
    uint32_t step = count - done < sizeof bytes / size ? count - done : sizeof bytes / size;
    if (entry.inField) {
      memcpy(bytes, entry.field + done * size, step * size);
    } else if (!ReadFileBytes(tiff, entry.valueAt + static_cast<uint64_t>(done) * size, bytes,
                              static_cast<uint64_t>(step) * size)) {
      return 0;
    }
    ParseNumbers(bytes, entry.type, step, bigEndian, values + done);
    done += step;
  }
  return 1;
}
