#include "tests/tiff_entries.h"

#include <tiffio.h>

#include <cstring>

#include "tests/run_program.h"

const TiffEntry* FindTiffEntry(const std::vector<TiffEntry>& entries, uint16_t tag) {
  for (const TiffEntry& entry : entries) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
}

bool TiffEntries::Load(const std::string& path) {
  return Parse(ReadFile(path));
}

bool TiffEntries::Parse(const std::string& bytes) {
  bytes_ = bytes;
  if (bytes_.size() < 8 || (bytes_.compare(0, 2, "II") != 0 && bytes_.compare(0, 2, "MM") != 0)) {
    return false;
  }
  bigEndian_ = bytes_[0] == 'M';
  uint64_t magic = Unsigned(2, 2);
  bigTiff_ = magic == 43;
  return magic == 42 || (bigTiff_ && bytes_.size() >= 16);
}

uint64_t TiffEntries::Unsigned(uint64_t at, int size) const {
  uint64_t value = 0;
  if (at > bytes_.size() || bytes_.size() - at < static_cast<uint64_t>(size)) return 0;
  for (int i = 0; i < size; ++i) {
    value = value << 8 | static_cast<uint8_t>(bytes_[at + (bigEndian_ ? i : size - 1 - i)]);
  }
  return value;
}

std::string TiffEntries::Bytes(uint64_t offset, uint64_t size) const {
  if (offset >= bytes_.size()) return std::string();
  return bytes_.substr(offset, size);
}

std::vector<uint64_t> TiffEntries::Chain() const {
  std::vector<uint64_t> offsets;
  uint64_t offset = Unsigned(bigTiff_ ? 8 : 4, bigTiff_ ? 8 : 4);
  while (offset != 0 && offsets.size() < 10000) {
    offsets.push_back(offset);
    offset = NextOf(offset);
  }
  return offsets;
}

uint64_t TiffEntries::NextPointerAt(uint64_t directory) const {
  uint64_t count = Unsigned(directory, bigTiff_ ? 8 : 2);
  return directory + (bigTiff_ ? 8 : 2) + count * (bigTiff_ ? 20 : 12);
}

uint64_t TiffEntries::NextOf(uint64_t directory) const {
  return Unsigned(NextPointerAt(directory), bigTiff_ ? 8 : 4);
}

bool PatchTagValue(const std::string& path, uint16_t tag, uint32_t index, uint32_t value) {
  TiffEntries file;
  std::vector<TiffEntry> entries;
  if (!file.Load(path) || file.Chain().empty() || !file.Directory(file.Chain()[0], &entries)) {
    return false;
  }
  const TiffEntry* entry = FindTiffEntry(entries, tag);
  if (entry == nullptr || index >= entry->count || !entry->inFile ||
      (entry->type != TIFF_SHORT && entry->type != TIFF_LONG && entry->type != TIFF_IFD)) {
    return false;
  }
  uint32_t size = TiffTypeSize(entry->type);
  std::string bytes = ReadFile(path);
  for (uint32_t i = 0; i < size; ++i) {
    uint32_t shift = 8 * (file.bigEndian() ? size - 1 - i : i);
    bytes[entry->at + static_cast<uint64_t>(index) * size + i] = static_cast<char>(value >> shift);
  }
  WriteFile(path, bytes);
  return true;
}

bool TiffEntries::Directory(uint64_t offset, std::vector<TiffEntry>* entries) const {
  entries->clear();
  int countSize = bigTiff_ ? 8 : 2, entrySize = bigTiff_ ? 20 : 12, field = bigTiff_ ? 8 : 4;
  if (offset == 0 || offset + countSize > bytes_.size()) return false;
  uint64_t count = Unsigned(offset, countSize);
  if (count > (bytes_.size() - offset - countSize) / entrySize) return false;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t at = offset + countSize + i * entrySize;
    TiffEntry entry;
    entry.tag = static_cast<uint16_t>(Unsigned(at, 2));
    entry.type = static_cast<uint16_t>(Unsigned(at + 2, 2));
    entry.count = Unsigned(at + 4, field);
    uint64_t typeSize = TiffTypeSize(entry.type);
    // A count no file could hold is as far outside as a value past the end.
    uint64_t size = entry.count > bytes_.size() ? bytes_.size() + 1 : entry.count * typeSize;
    entry.at =
        size <= static_cast<uint64_t>(field) ? at + 4 + field : Unsigned(at + 4 + field, field);
    entry.inFile = entry.at <= bytes_.size() && size <= bytes_.size() - entry.at;
    if (entry.inFile) entry.values = bytes_.substr(entry.at, size);
    entries->push_back(entry);
  }
  return true;
}

std::vector<double> TiffEntries::Numbers(const TiffEntry& entry) const {
  std::vector<double> numbers;
  uint32_t size = TiffTypeSize(entry.type);
  for (uint64_t i = 0; size != 0 && i < entry.count; ++i) {
    const char* at = entry.values.data() + i * size;
    auto part = [&](int offset, int width) {
      uint64_t value = 0;
      for (int b = 0; b < width; ++b) {
        value = value << 8 | static_cast<uint8_t>(at[offset + (bigEndian_ ? b : width - 1 - b)]);
      }
      return value;
    };
    switch (entry.type) {
      case 6:  // SBYTE
        numbers.push_back(static_cast<int8_t>(part(0, 1)));
        break;
      case 8:  // SSHORT
        numbers.push_back(static_cast<int16_t>(part(0, 2)));
        break;
      case 9:  // SLONG
        numbers.push_back(static_cast<int32_t>(part(0, 4)));
        break;
      case 17:  // SLONG8
        numbers.push_back(static_cast<double>(static_cast<int64_t>(part(0, 8))));
        break;
      case 5:  // RATIONAL
        numbers.push_back(static_cast<double>(part(0, 4)) / static_cast<double>(part(4, 4)));
        break;
      case 10:  // SRATIONAL
        numbers.push_back(static_cast<double>(static_cast<int32_t>(part(0, 4))) /
                          static_cast<int32_t>(part(4, 4)));
        break;
      case 11: {  // FLOAT
        uint32_t bits = static_cast<uint32_t>(part(0, 4));
        float value;
        memcpy(&value, &bits, 4);
        numbers.push_back(value);
        break;
      }
      case 12: {  // DOUBLE
        uint64_t bits = part(0, 8);
        double value;
        memcpy(&value, &bits, 8);
        numbers.push_back(value);
        break;
      }
      default:
        numbers.push_back(static_cast<double>(part(0, size)));
        break;
    }
  }
  return numbers;
}
