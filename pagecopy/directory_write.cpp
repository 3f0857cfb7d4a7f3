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

// Fills the entry list of `entries` at `list`, each value that does not fit its entry placed
// from `valueAt` on (or where it was written for the page before), and gives the bytes of new
// values the list claims in `claimed`. Returns 0 when they come to more than `budget`.
int FillList(const OutputFile* out, std::vector<OutputEntry>* entries, uint64_t valueAt,
             ValuePlaces* places, uint64_t budget, uint8_t* list, uint64_t* claimed) {
  int big = out->layout.bigTiff;
  int bigEndian = out->layout.bigEndian;
  int fieldSize = static_cast<int>(OffsetSize(big));
  uint8_t* raw = list + CountFieldSize(big);
  for (OutputEntry& entry : *entries) {
    PutNumberAt(raw, 2, bigEndian, entry.stored.tag);
    PutNumberAt(raw + 2, 2, bigEndian, entry.type);
    PutNumberAt(raw + 4, fieldSize, bigEndian, CountOf(entry));
    uint8_t* field = raw + 4 + fieldSize;
    raw += EntrySize(big);
    entry.placedAt = 0;
    entry.sharesPlace = 0;
    if (ValuesFitEntry(big, entry.type, CountOf(entry))) {
      PutField(out, entry, field);
      continue;
    }
    auto place = places->placed.emplace(PlaceKey(entry), 0);
    entry.sharesPlace = !place.second;
    if (place.second) {
      valueAt += valueAt & 1;
      place.first->second = valueAt;
      valueAt += ValueSize(entry);
      *claimed += ValueSize(entry);
      if (*claimed > budget) return 0;
    }
    entry.placedAt = place.first->second;
    PutNumberAt(field, fieldSize, bigEndian, entry.placedAt);
  }
  return 1;
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

int WriteDirectory(InputFile* input, OutputFile* out, std::vector<OutputEntry>* entries,
                   uint64_t next, ValuePlaces* places, uint64_t* budget, uint64_t* writtenAt) {
  int big = out->layout.bigTiff;
  int fieldSize = static_cast<int>(OffsetSize(big));
  uint64_t listSize = CountFieldSize(big) + entries->size() * EntrySize(big) + fieldSize;
  if ((!big && entries->size() > 0xFFFF) || !AlignToWord(out)) return 0;
  uint64_t at = out->end;
  // The entry list first, its new values after it in the order of the entries.
  std::vector<uint8_t> list(listSize, 0);
  PutNumberAt(list.data(), static_cast<int>(CountFieldSize(big)), out->layout.bigEndian,
              entries->size());
  PutNumberAt(list.data() + listSize - fieldSize, fieldSize, out->layout.bigEndian, next);
  uint64_t claimed = listSize;
  if (claimed > *budget ||
      !FillList(out, entries, at + listSize, places, *budget, list.data(), &claimed) ||
      !AppendBytes(out, list.data(), listSize)) {
    return 0;
  }
  *budget -= claimed;
  for (const OutputEntry& entry : *entries) {
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

int WriteHeader(OutputFile* out, uint64_t firstDirectory) {
  uint8_t header[16];
  PutHeader(header, out->layout, firstDirectory);
  return WriteOutputAt(out, 0, header, HeaderSize(out->layout.bigTiff));
}
