#include "pagecopy/directory_write.h"

#include <cstring>

namespace {

uint64_t ValueSize(const OutputEntry& entry) {
  return CountOf(entry) * TypeSize(entry.type);
}

int AppendNumbers(OutputFile* out, const OutputEntry& entry) {
  uint8_t piece[4096];
  uint32_t width = TypeSize(entry.type);
  for (uint64_t i = 0; i < entry.numbers->size(); i += sizeof piece / width) {
    uint64_t filled = PutNumbers(out->layout.bigEndian, entry, i, piece, sizeof piece);
    if (!AppendBytes(out, piece, filled)) return 0;
  }
  return 1;
}

// What makes two entries' values the same: the same list of new numbers in the same type, or the
// same stored bytes.
std::pair<uint64_t, uint64_t> PlaceKey(const OutputEntry& entry) {
  if (entry.numbers != nullptr) {
    return {reinterpret_cast<uintptr_t>(entry.numbers), entry.type | (1ull << 63)};
  }
  return {entry.stored.valueAt, ValueSize(entry)};
}

// Fills the value field of an entry whose values fit it.
void PutField(const OutputFile* out, const OutputEntry& entry, uint8_t* field) {
  if (entry.numbers != nullptr) {
    PutNumbers(out->layout.bigEndian, entry, 0, field, OffsetSize(out->layout.bigTiff));
  } else {
    memcpy(field, entry.stored.field, ValueSize(entry));
  }
}

}  // namespace

uint64_t PutNumbers(int bigEndian, const OutputEntry& entry, uint64_t first, uint8_t* bytes,
                    uint64_t size) {
  uint32_t width = TypeSize(entry.type);
  uint64_t filled = 0;
  for (uint64_t i = first; i < entry.numbers->size() && filled + width <= size; ++i) {
    PutNumberAt(bytes + filled, static_cast<int>(width), bigEndian, (*entry.numbers)[i]);
    filled += width;
  }
  return filled;
}

int WriteDirectory(InputFile* input, OutputFile* out, std::vector<OutputEntry>* planned,
                   uint64_t next, ValuePlaces* places, uint64_t* budget, uint64_t* writtenAt) {
  std::vector<OutputEntry>& entries = *planned;
  int big = out->layout.bigTiff;
  int bigEndian = out->layout.bigEndian;
  uint64_t countSize = CountFieldSize(big), entrySize = EntrySize(big);
  int fieldSize = static_cast<int>(OffsetSize(big));
  uint64_t listSize = countSize + entries.size() * entrySize + fieldSize;
  if ((!big && entries.size() > 0xFFFF) || !AlignToWord(out)) return 0;
  uint64_t at = out->end;
  // The entry list first, its new values after it in the order of the entries.
  std::vector<uint8_t> list(listSize, 0);
  PutNumberAt(list.data(), static_cast<int>(countSize), bigEndian, entries.size());
  PutNumberAt(list.data() + listSize - fieldSize, fieldSize, bigEndian, next);
  uint64_t valueAt = at + listSize;
  uint64_t claimed = listSize;
  for (size_t i = 0; i < entries.size(); ++i) {
    OutputEntry& entry = entries[i];
    uint8_t* raw = list.data() + countSize + i * entrySize;
    PutNumberAt(raw, 2, bigEndian, entry.stored.tag);
    PutNumberAt(raw + 2, 2, bigEndian, entry.type);
    PutNumberAt(raw + 4, fieldSize, bigEndian, CountOf(entry));
    entry.placedAt = 0;
    entry.sharesPlace = 0;
    if (ValuesFitEntry(big, entry.type, CountOf(entry))) {
      PutField(out, entry, raw + 4 + fieldSize);
      continue;
    }
    auto place = places->placed.emplace(PlaceKey(entry), 0);
    if (place.second) {
      valueAt += valueAt & 1;
      place.first->second = valueAt;
      valueAt += ValueSize(entry);
      claimed += ValueSize(entry);
      if (claimed > *budget) return 0;
    } else {
      entry.sharesPlace = 1;
    }
    entry.placedAt = place.first->second;
    PutNumberAt(raw + 4 + fieldSize, fieldSize, bigEndian, entry.placedAt);
  }
  if (claimed > *budget || !AppendBytes(out, list.data(), listSize)) return 0;
  *budget -= claimed;
  for (const OutputEntry& entry : entries) {
    if (entry.placedAt == 0 || entry.sharesPlace) continue;
    if (!AlignToWord(out) || out->end != entry.placedAt) return 0;
    int appended = entry.numbers != nullptr
                       ? AppendNumbers(out, entry)
                       : AppendFromInput(out, input, entry.stored.valueAt, ValueSize(entry));
    if (!appended) return 0;
  }
  *writtenAt = at;
  return 1;
}
