#include "pagecopy/directory_entries.h"

#include <cstdio>

namespace {

// The largest entry list read: classic TIFF stores the count in 16 bits, and no writer makes a
// BigTIFF directory larger than that; a bigger count is damage.
const uint64_t kMaxEntries = 65535;

void PutNumber(unsigned char* bytes, int size, int bigEndian, uint64_t value) {
  for (int i = 0; i < size; ++i) {
    bytes[bigEndian ? size - 1 - i : i] = static_cast<unsigned char>(value >> (8 * i));
  }
}

uint64_t Number(const unsigned char* bytes, int size, int bigEndian) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) {
    value = (value << 8) | bytes[bigEndian ? i : size - 1 - i];
  }
  return value;
}

}  // namespace

int ReadFileBytes(TIFF* tiff, uint64_t offset, void* buffer, uint64_t size) {
  thandle_t client = TIFFClientdata(tiff);
  if (size > static_cast<uint64_t>(TIFF_TMSIZE_T_MAX)) return 0;
  if (TIFFGetSeekProc(tiff)(client, offset, SEEK_SET) != offset) return 0;
  return TIFFGetReadProc(tiff)(client, buffer, static_cast<tmsize_t>(size)) ==
         static_cast<tmsize_t>(size);
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

int ReadDirectoryEntries(TIFF* tiff, uint64_t offset, std::vector<DirectoryEntry>* entries) {
  entries->clear();
  int big = TIFFIsBigTIFF(tiff);
  int bigEndian = TIFFIsBigEndian(tiff);
  int countSize = big ? 8 : 2;
  int entrySize = big ? 20 : 12;
  int fieldSize = big ? 8 : 4;  // the count and the value-or-offset fields
  unsigned char head[8];
  if (!ReadFileBytes(tiff, offset, head, countSize)) return 0;
  uint64_t count = Number(head, countSize, bigEndian);
  if (count > kMaxEntries) return 0;
  std::vector<unsigned char> list(count * entrySize);
  if (count > 0 && !ReadFileBytes(tiff, offset + countSize, list.data(), list.size())) return 0;
  entries->reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    const unsigned char* raw = list.data() + i * entrySize;
    DirectoryEntry entry;
    entry.tag = static_cast<uint16_t>(Number(raw, 2, bigEndian));
    entry.type = static_cast<uint16_t>(Number(raw + 2, 2, bigEndian));
    entry.count = Number(raw + 4, fieldSize, bigEndian);
    uint64_t inside = offset + countSize + i * entrySize + 4 + fieldSize;
    uint64_t size = TypeSize(entry.type);
    // Values that fit the value field are stored in it; anything else lies at the offset it holds.
    // An unknown type's values have no size to decide by: they are never read.
    int fits = size != 0 && entry.count <= static_cast<uint64_t>(fieldSize) / size;
    entry.valueAt = fits ? inside : Number(raw + 4 + fieldSize, fieldSize, bigEndian);
    entry.entryAt = offset + countSize + i * entrySize;
    entries->push_back(entry);
  }
  return 1;
}

const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint16_t tag) {
  for (const DirectoryEntry& entry : entries) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
}

int ReadEntryNumbers(TIFF* tiff, const DirectoryEntry& entry, uint64_t* values, uint32_t count) {
  uint32_t size = 0;
  switch (entry.type) {
    case TIFF_BYTE:
    case TIFF_SHORT:
    case TIFF_LONG:
    case TIFF_LONG8:
    case TIFF_IFD:
    case TIFF_IFD8:
      size = TypeSize(entry.type);
      break;
    default:
      return 0;
  }
  if (entry.count < count) return 0;
  int bigEndian = TIFFIsBigEndian(tiff);
  unsigned char bytes[64];
  for (uint32_t done = 0; done < count;) {
    uint32_t step = count - done < sizeof bytes / size ? count - done : sizeof bytes / size;
    if (!ReadFileBytes(tiff, entry.valueAt + static_cast<uint64_t>(done) * size, bytes,
                       static_cast<uint64_t>(step) * size)) {
      return 0;
    }
    for (uint32_t i = 0; i < step; ++i)
      values[done + i] = Number(bytes + i * size, size, bigEndian);
    done += step;
  }
  return 1;
}

uint64_t FirstDirectoryOffset(TIFF* tiff) {
  unsigned char header[16];
  int big = TIFFIsBigTIFF(tiff);
  if (!ReadFileBytes(tiff, 0, header, big ? 16 : 8)) return 0;
  return big ? Number(header + 8, 8, TIFFIsBigEndian(tiff))
             : Number(header + 4, 4, TIFFIsBigEndian(tiff));
}

int RewriteEntryType(TIFF* tiff, const DirectoryEntry& entry, uint16_t type, uint64_t count) {
  int big = TIFFIsBigTIFF(tiff);
  int bigEndian = TIFFIsBigEndian(tiff);
  unsigned char field[10];
  PutNumber(field, 2, bigEndian, type);
  PutNumber(field + 2, big ? 8 : 4, bigEndian, count);
  tmsize_t size = big ? 10 : 6;
  thandle_t client = TIFFClientdata(tiff);
  return TIFFGetSeekProc(tiff)(client, entry.entryAt + 2, SEEK_SET) == entry.entryAt + 2 &&
         TIFFGetWriteProc(tiff)(client, field, size) == size;
}
