#include "pagecopy/directory_write.h"

#include <cstring>

namespace {

// Compared in pieces of this size, whatever the size of a value.
constexpr uint64_t kPiece = 16 * 1024;

uint64_t CountOf(const OutputEntry& entry) {
  return entry.renumbered ? entry.numbers.size() : entry.stored.count;
}

uint64_t ValueSize(const OutputEntry& entry) {
  return CountOf(entry) * TypeSize(entry.type);
}

// The new numbers of `entry`, from the `first`, in its type and the output's byte order, as many
// as fit `size` bytes; gives how many bytes it filled.
uint64_t PutNumbers(const OutputFile* out, const OutputEntry& entry, uint64_t first, uint8_t* bytes,
                    uint64_t size) {
  uint32_t width = TypeSize(entry.type);
  uint64_t filled = 0;
  for (uint64_t i = first; i < entry.numbers.size() && filled + width <= size; ++i) {
    PutNumberAt(bytes + filled, static_cast<int>(width), out->bigEndian, entry.numbers[i]);
    filled += width;
  }
  return filled;
}

int AppendNumbers(OutputFile* out, const OutputEntry& entry) {
  uint8_t piece[4096];
  uint32_t width = TypeSize(entry.type);
  for (uint64_t i = 0; i < entry.numbers.size(); i += sizeof piece / width) {
    uint64_t filled = PutNumbers(out, entry, i, piece, sizeof piece);
    if (!AppendBytes(out, piece, filled)) return 0;
  }
  return 1;
}

// Whether the `size` bytes of values the output holds at `at` are `entry`'s: its new numbers, or
// its stored bytes, compared with the bytes written from the input while they are still held, or
// else with the input itself.
int SameValues(TIFF* input, OutputFile* out, const OutputEntry& entry, uint64_t at, uint64_t size) {
  uint8_t expected[kPiece];
  for (uint64_t done = 0; done < size;) {
    uint64_t step = size - done < kPiece ? size - done : kPiece;
    const uint8_t* wanted = expected;
    if (entry.renumbered) {
      uint32_t width = TypeSize(entry.type);
      PutNumbers(out, entry, done / width, expected, step);
    } else {
      wanted = WrittenBytes(out, at + done, step);
      if (wanted == nullptr) {
        if (!ReadFileBytes(input, entry.stored.valueAt + done, expected, step)) return 0;
        wanted = expected;
      }
    }
    const uint8_t* held = ReadBack(out, at + done, step);
    if (held == nullptr || memcmp(held, wanted, step) != 0) return 0;
    done += step;
  }
  return 1;
}

// Every chunk the entries place lies inside the file with its stored count.
int ChunksInsideFile(const std::vector<OutputEntry>& entries, uint64_t fileSize) {
  const OutputEntry* offsets = nullptr;
  const OutputEntry* counts = nullptr;
  for (const OutputEntry& entry : entries) {
    if (entry.role == kChunkOffsets) offsets = &entry;
    if (entry.role == kChunkByteCounts) counts = &entry;
  }
  if (offsets == nullptr) return 1;
  if (counts == nullptr || counts->numbers.size() != offsets->numbers.size()) return 0;
  for (size_t i = 0; i < offsets->numbers.size(); ++i) {
    uint64_t at = offsets->numbers[i], size = counts->numbers[i];
    if (size != 0 && (at > fileSize || size > fileSize - at)) return 0;
  }
  return 1;
}

}  // namespace

uint16_t TypeHolding(int bigTiff, uint16_t storedType, uint64_t largest) {
  int big = bigTiff;
  switch (storedType) {
    case TIFF_SHORT:
      if (largest <= 0xFFFF) return storedType;
      break;
    case TIFF_LONG:
    case TIFF_IFD:
      if (largest <= 0xFFFFFFFFu) return storedType;
      if (big) return storedType == TIFF_IFD ? TIFF_IFD8 : TIFF_LONG8;
      return 0;
    case TIFF_LONG8:
    case TIFF_IFD8:
      if (big) return storedType;
      break;
    default:
      break;
  }
  if (largest <= 0xFFFFFFFFu) return TIFF_LONG;
  return big ? TIFF_LONG8 : 0;
}

int WriteDirectory(TIFF* input, OutputFile* out, std::vector<OutputEntry>* planned,
                   uint64_t* budget, uint64_t* writtenAt) {
  const std::vector<OutputEntry>& entries = *planned;
  int big = out->bigTiff;
  int bigEndian = out->bigEndian;
  uint64_t countSize = big ? 8 : 2, entrySize = big ? 20 : 12, fieldSize = big ? 8 : 4;
  uint64_t listSize = countSize + entries.size() * entrySize + fieldSize;
  if (!big && entries.size() > 0xFFFF) return 0;
  if (!AlignToWord(out)) return 0;
  uint64_t at = out->end;
  // The entry list first, its values after it in the order of the entries.
  std::vector<uint8_t> list(listSize, 0);
  PutNumberAt(list.data(), static_cast<int>(countSize), bigEndian, entries.size());
  uint64_t valueAt = at + listSize;
  uint64_t claimed = listSize;
  for (size_t i = 0; i < entries.size(); ++i) {
    const OutputEntry& entry = entries[i];
    uint8_t* raw = list.data() + countSize + i * entrySize;
    PutNumberAt(raw, 2, bigEndian, entry.stored.tag);
    PutNumberAt(raw + 2, 2, bigEndian, entry.type);
    PutNumberAt(raw + 4, static_cast<int>(fieldSize), bigEndian, CountOf(entry));
    uint8_t* field = raw + 4 + fieldSize;
    uint64_t size = ValueSize(entry);
    if (ValuesFitEntry(big, entry.type, CountOf(entry))) {
      if (entry.renumbered) {
        PutNumbers(out, entry, 0, field, fieldSize);
      } else {
        memcpy(field, entry.stored.field, size);
      }
      continue;
    }
    valueAt += valueAt & 1;
    PutNumberAt(field, static_cast<int>(fieldSize), bigEndian, valueAt);
    valueAt += size;
    claimed += size;
    if (claimed > *budget) return 0;
  }
  if (claimed > *budget || !AppendBytes(out, list.data(), listSize)) return 0;
  *budget -= claimed;
  for (OutputEntry& entry : *planned) {
    entry.placedAt = 0;
    if (ValuesFitEntry(big, entry.type, CountOf(entry))) continue;
    if (!AlignToWord(out)) return 0;
    entry.placedAt = out->end;
    int appended = entry.renumbered
                       ? AppendNumbers(out, entry)
                       : AppendFromInput(out, input, entry.stored.valueAt, ValueSize(entry));
    if (!appended) return 0;
  }
  *writtenAt = at;
  return 1;
}

int CheckDirectory(TIFF* input, OutputFile* out, uint64_t writtenAt,
                   const std::vector<OutputEntry>& entries) {
  int big = out->bigTiff;
  uint64_t countSize = big ? 8 : 2, entrySize = big ? 20 : 12, fieldSize = big ? 8 : 4;
  const uint8_t* head = ReadBack(out, writtenAt, countSize);
  if (head == nullptr ||
      NumberAt(head, static_cast<int>(countSize), out->bigEndian) != entries.size()) {
    return 0;
  }
  uint64_t listSize = entries.size() * entrySize + fieldSize;
  const uint8_t* list = ReadBack(out, writtenAt + countSize, listSize);
  if (list == nullptr || NumberAt(list + entries.size() * entrySize, static_cast<int>(fieldSize),
                                  out->bigEndian) != 0) {
    return 0;
  }
  std::vector<DirectoryEntry> written;
  ParseEntries(list, entries.size(), big, out->bigEndian, writtenAt + countSize, &written);
  for (size_t i = 0; i < entries.size(); ++i) {
    const OutputEntry& entry = entries[i];
    const DirectoryEntry& copy = written[i];
    if (copy.tag != entry.stored.tag || copy.type != entry.type || copy.count != CountOf(entry)) {
      return 0;
    }
    uint64_t size = ValueSize(entry);
    if (copy.inField) {
      uint8_t expected[8] = {0};
      if (entry.renumbered) {
        PutNumbers(out, entry, 0, expected, sizeof expected);
      } else {
        memcpy(expected, entry.stored.field, size);
      }
      if (memcmp(copy.field, expected, size) != 0) return 0;
    } else if (copy.valueAt != entry.placedAt ||
               !SameValues(input, out, entry, copy.valueAt, size)) {
      return 0;
    }
  }
  return ChunksInsideFile(entries, out->end);
}
