#include "pagecopy/directory_read.h"

#include <cstring>

namespace {

// The largest entry list read: classic TIFF stores the count in 16 bits, and no writer makes a
// BigTIFF directory larger than that; a bigger count is damage.
const uint64_t kMaxEntries = 65535;

}  // namespace

void ParseEntries(const uint8_t* list, uint64_t count, const TiffLayout& layout, uint64_t listAt,
                  std::vector<DirectoryEntry>* entries) {
  int big = layout.bigTiff;
  int fieldSize = static_cast<int>(OffsetSize(big));  // the count and the value-or-offset fields
  uint64_t entrySize = EntrySize(big);
  entries->resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* raw = list + i * entrySize;
    DirectoryEntry& entry = (*entries)[i];
    entry.tag = static_cast<uint16_t>(NumberAt(raw, 2, layout.bigEndian));
    entry.type = static_cast<uint16_t>(NumberAt(raw + 2, 2, layout.bigEndian));
    entry.count = NumberAt(raw + 4, fieldSize, layout.bigEndian);
    memset(entry.field, 0, sizeof entry.field);
    memcpy(entry.field, raw + 4 + fieldSize, fieldSize);
    // Values that fit the value field are stored in it; anything else lies at the offset it holds.
    // An unknown type's values have no size to decide by: they are never read.
    entry.inField = ValuesFitEntry(big, entry.type, entry.count);
    entry.valueAt = entry.inField ? listAt + i * entrySize + 4 + fieldSize
                                  : NumberAt(raw + 4 + fieldSize, fieldSize, layout.bigEndian);
  }
}

int ReadDirectory(InputFile* input, uint64_t offset, StoredDirectory* directory) {
  directory->entries.clear();
  directory->next = 0;
  directory->nextInFile = 0;
  int big = input->layout.bigTiff;
  uint64_t countSize = CountFieldSize(big);
  uint8_t head[8];
  if (offset == 0 || !ReadInput(input, offset, head, countSize)) return 0;
  uint64_t count = NumberAt(head, static_cast<int>(countSize), input->layout.bigEndian);
  if (count > kMaxEntries) return 0;
  // The list and the next pointer in one read where the file holds both.
  uint64_t listSize = count * EntrySize(big);
  uint64_t pointerSize = OffsetSize(big);
  directory->nextInFile = InsideInput(*input, offset + countSize, listSize + pointerSize);
  std::vector<uint8_t> list(listSize + pointerSize);
  if (!ReadInput(input, offset + countSize, list.data(),
                 directory->nextInFile ? list.size() : listSize)) {
    return 0;
  }
  ParseEntries(list.data(), count, input->layout, offset + countSize, &directory->entries);
  if (directory->nextInFile) {
    directory->next =
        NumberAt(list.data() + listSize, static_cast<int>(pointerSize), input->layout.bigEndian);
  }
  return 1;
}

const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint16_t tag) {
  for (const DirectoryEntry& entry : entries) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
}

int ValuesInsideInput(const InputFile& input, const DirectoryEntry& entry) {
  uint64_t size = TypeSize(entry.type);
  return entry.inField || (size != 0 && entry.count <= input.size / size &&
                           InsideInput(input, entry.valueAt, entry.count * size));
}

int ReadEntryNumbers(InputFile* input, const DirectoryEntry& entry, uint64_t* values,
                     uint64_t count) {
  if (!IsUnsignedType(entry.type) || entry.count < count) return 0;
  uint32_t size = TypeSize(entry.type);
  if (!entry.inField &&
      (count > input->size / size || !InsideInput(*input, entry.valueAt, count * size))) {
    return 0;
  }
  int bigEndian = input->layout.bigEndian;
  uint8_t bytes[4096];
  for (uint64_t done = 0; done < count;) {
    uint64_t step = count - done < sizeof bytes / size ? count - done : sizeof bytes / size;
    if (entry.inField) {
      memcpy(bytes, entry.field + done * size, step * size);
    } else if (!ReadInput(input, entry.valueAt + done * size, bytes, step * size)) {
      return 0;
    }
    ParseNumbers(bytes, entry.type, static_cast<uint32_t>(step), bigEndian, values + done);
    done += step;
  }
  return 1;
}

int ReadNextPointer(InputFile* input, uint64_t at, uint64_t* next) {
  int big = input->layout.bigTiff;
  uint8_t bytes[8];
  if (at == 0 || !ReadInput(input, at, bytes, CountFieldSize(big))) return 0;
  uint64_t count = NumberAt(bytes, static_cast<int>(CountFieldSize(big)), input->layout.bigEndian);
  if (count > kMaxEntries) return 0;
  uint64_t pointerAt = NextPointerAt(big, at, count);
  *next = 0;
  if (ReadInput(input, pointerAt, bytes, OffsetSize(big)))
    *next = NumberAt(bytes, static_cast<int>(OffsetSize(big)), input->layout.bigEndian);
  return InsideInput(*input, at, pointerAt - at);
}
