#include "pagecopy/directory_write.h"

#include <cstring>

namespace {

uint64_t CountOf(const OutputEntry& entry) {
  return entry.renumbered ? entry.numbers.size() : entry.stored.count;
}

uint64_t ValueSize(const OutputEntry& entry) {
  return CountOf(entry) * TypeSize(entry.type);
}

// The new numbers of `entry`, from the `first`, in its type and the output's byte order, as many
// as fit `size` bytes; gives how many bytes it filled.
uint64_t PutNumbers(TIFF* output, const OutputEntry& entry, uint64_t first, uint8_t* bytes,
                    uint64_t size) {
  uint32_t width = TypeSize(entry.type);
  uint64_t filled = 0;
  for (uint64_t i = first; i < entry.numbers.size() && filled + width <= size; ++i) {
    PutFileNumber(output, bytes + filled, static_cast<int>(width), entry.numbers[i]);
    filled += width;
  }
  return filled;
}

int AppendNumbers(OutputFile* out, const OutputEntry& entry) {
  uint8_t piece[4096];
  uint32_t width = TypeSize(entry.type);
  for (uint64_t i = 0; i < entry.numbers.size(); i += sizeof piece / width) {
    uint64_t filled = PutNumbers(out->tiff, entry, i, piece, sizeof piece);
    if (!AppendBytes(out, piece, filled)) return 0;
  }
  return 1;
}

// Whether `size` bytes at `a` in `first` equal those at `b` in `second`.
int SameBytes(TIFF* first, uint64_t a, TIFF* second, uint64_t b, uint64_t size) {
  uint8_t left[8192];
  uint8_t right[8192];
  for (uint64_t done = 0; done < size;) {
    uint64_t piece = size - done < sizeof left ? size - done : sizeof left;
    if (!ReadFileBytes(first, a + done, left, piece) ||
        !ReadFileBytes(second, b + done, right, piece) || memcmp(left, right, piece) != 0) {
      return 0;
    }
    done += piece;
  }
  return 1;
}

// Whether `size` bytes at `at` in `file` equal `bytes`.
int SameAsMemory(TIFF* file, uint64_t at, const uint8_t* bytes, uint64_t size) {
  uint8_t piece[8192];
  for (uint64_t done = 0; done < size;) {
    uint64_t step = size - done < sizeof piece ? size - done : sizeof piece;
    if (!ReadFileBytes(file, at + done, piece, step) || memcmp(piece, bytes + done, step) != 0) {
      return 0;
    }
    done += step;
  }
  return 1;
}

int SameNumbers(TIFF* output, const DirectoryEntry& written, const std::vector<uint64_t>& numbers) {
  uint64_t values[512];
  for (size_t done = 0; done < numbers.size();) {
    size_t step = numbers.size() - done < 512 ? numbers.size() - done : 512;
    DirectoryEntry rest = written;
    if (!written.inField) {
      rest.valueAt += done * TypeSize(written.type);
    } else if (done > 0) {
      return 0;
    }
    rest.count -= done;
    if (!ReadEntryNumbers(output, rest, values, static_cast<uint32_t>(step)) ||
        memcmp(values, numbers.data() + done, step * sizeof values[0]) != 0) {
      return 0;
    }
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
  TIFF* output = out->tiff;
  int big = out->bigTiff;
  uint64_t countSize = big ? 8 : 2, entrySize = big ? 20 : 12, fieldSize = big ? 8 : 4;
  uint64_t listSize = countSize + entries.size() * entrySize + fieldSize;
  if (!big && entries.size() > 0xFFFF) return 0;
  if (!AlignToWord(out)) return 0;
  uint64_t at = out->end;
  // The entry list first, its values after it in the order of the entries.
  std::vector<uint8_t> list(listSize, 0);
  PutFileNumber(output, list.data(), static_cast<int>(countSize), entries.size());
  uint64_t valueAt = at + listSize;
  uint64_t claimed = listSize;
  for (size_t i = 0; i < entries.size(); ++i) {
    const OutputEntry& entry = entries[i];
    uint8_t* raw = list.data() + countSize + i * entrySize;
    PutFileNumber(output, raw, 2, entry.stored.tag);
    PutFileNumber(output, raw + 2, 2, entry.type);
    PutFileNumber(output, raw + 4, static_cast<int>(fieldSize), CountOf(entry));
    uint8_t* field = raw + 4 + fieldSize;
    uint64_t size = ValueSize(entry);
    if (ValuesFitEntry(big, entry.type, CountOf(entry))) {
      if (entry.renumbered) {
        PutNumbers(output, entry, 0, field, fieldSize);
      } else {
        memcpy(field, entry.stored.field, size);
      }
      continue;
    }
    valueAt += valueAt & 1;
    PutFileNumber(output, field, static_cast<int>(fieldSize), valueAt);
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
  TIFF* output = out->tiff;
  std::vector<DirectoryEntry> written;
  uint64_t next = 1;
  if (!ReadDirectoryEntries(output, out->bigTiff, writtenAt, &written, &next) || next != 0 ||
      written.size() != entries.size()) {
    return 0;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const OutputEntry& entry = entries[i];
    const DirectoryEntry& copy = written[i];
    if (copy.tag != entry.stored.tag || copy.type != entry.type || copy.count != CountOf(entry)) {
      return 0;
    }
    uint64_t size = ValueSize(entry);
    if (!copy.inField && copy.valueAt != entry.placedAt) return 0;
    // Values written from gathered bytes are compared with those bytes, which came from the
    // input at the stored place; others with the input itself.
    const uint8_t* written = copy.inField ? nullptr : WrittenBytes(out, copy.valueAt, size);
    int same = entry.renumbered ? SameNumbers(output, copy, entry.numbers)
               : copy.inField   ? memcmp(copy.field, entry.stored.field, size) == 0
               : written != nullptr
                   ? SameAsMemory(output, copy.valueAt, written, size)
                   : SameBytes(input, entry.stored.valueAt, output, copy.valueAt, size);
    if (!same) return 0;
  }
  return ChunksInsideFile(entries, out->end);
}
