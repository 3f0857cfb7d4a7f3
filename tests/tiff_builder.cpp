#include "tests/tiff_builder.h"

#include <cstring>

namespace {

std::string Number(uint64_t value, int width, bool bigEndian) {
  std::string bytes;
  for (int i = 0; i < width; ++i) {
    bytes += static_cast<char>(value >> 8 * (bigEndian ? width - 1 - i : i));
  }
  return bytes;
}

}  // namespace

uint32_t TiffTypeSize(uint16_t type) {
  static const uint32_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  return type < sizeof kSizes / sizeof kSizes[0] ? kSizes[type] : 0;
}

TiffBuilder::TiffBuilder(bool bigEndian, bool bigTiff)
    : bytes_(bigEndian ? "MM" : "II"), bigEndian_(bigEndian), bigTiff_(bigTiff) {
  Put(2, bigTiff ? 43 : 42, 2);
  if (bigTiff) {
    Put(4, 8, 2);  // the offset size, then a reserved 0
    Put(6, 0, 2);
  }
  Put(bigTiff ? 8 : 4, 0, bigTiff ? 8 : 4);  // no first directory until Chain
}

void TiffBuilder::Put(uint64_t at, uint64_t value, int width) {
  PutBytes(at, Number(value, width, bigEndian_));
}

void TiffBuilder::PutBytes(uint64_t at, const std::string& bytes) {
  if (bytes_.size() < at + bytes.size()) bytes_.resize(at + bytes.size(), '\0');
  bytes_.replace(at, bytes.size(), bytes);
}

uint64_t TiffBuilder::Block(const std::string& bytes) {
  if (bytes_.size() % 2 != 0) bytes_ += '\0';
  uint64_t at = bytes_.size();
  bytes_ += bytes;
  return at;
}

std::string TiffBuilder::Encode(const BuildEntry& entry) const {
  if (entry.values.empty()) return entry.bytes;
  std::string encoded;
  // A rational is two 4-byte integers.
  bool rational = entry.type == 5 || entry.type == 10;
  int width = rational ? 4 : static_cast<int>(TiffTypeSize(entry.type));
  for (double value : entry.values) {
    uint64_t bits = 0;
    if (entry.type == 11) {
      float narrow = static_cast<float>(value);
      uint32_t word;
      memcpy(&word, &narrow, 4);
      bits = word;
    } else if (entry.type == 12) {
      memcpy(&bits, &value, 8);
    } else {
      bits = static_cast<uint64_t>(static_cast<int64_t>(value));  // two's complement when < 0
    }
    encoded += Number(bits, width, bigEndian_);
  }
  return encoded;
}

uint64_t TiffBuilder::Directory(const std::vector<BuildEntry>& entries) {
  int field = bigTiff_ ? 8 : 4, countWidth = bigTiff_ ? 8 : 2, entryWidth = bigTiff_ ? 20 : 12;
  std::vector<std::string> values;
  std::vector<uint64_t> counts, places;
  for (const BuildEntry& entry : entries) {
    values.push_back(Encode(entry));
    uint32_t size = TiffTypeSize(entry.type);
    counts.push_back(entry.count != 0 ? entry.count : size == 0 ? 0 : values.back().size() / size);
    bool apart = values.back().size() > static_cast<size_t>(field);
    places.push_back(entry.at != 0 ? entry.at : apart ? Block(values.back()) : 0);
  }
  uint64_t directory = Block(std::string());
  Put(directory, entries.size(), countWidth);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint64_t slot = directory + countWidth + i * entryWidth;
    Put(slot, entries[i].tag, 2);
    Put(slot + 2, entries[i].type, 2);
    Put(slot + 4, counts[i], field);
    if (places[i] != 0) {
      Put(slot + 4 + field, places[i], field);
    } else {
      // A value that fits sits at the start of the field, the rest of the field zero.
      values[i].resize(static_cast<size_t>(field), '\0');
      PutBytes(slot + 4 + field, values[i]);
    }
  }
  uint64_t next = directory + countWidth + entries.size() * entryWidth;
  Put(next, 0, field);
  nextAt_[directory] = next;
  return directory;
}

void TiffBuilder::Chain(const std::vector<uint64_t>& directories) {
  int field = bigTiff_ ? 8 : 4;
  uint64_t link = field;  // the header's pointer: at 4 in classic, at 8 in BigTIFF
  for (uint64_t directory : directories) {
    Put(link, directory, field);
    link = nextAt_.at(directory);
  }
  Put(link, 0, field);
}

void TiffBuilder::Follow(uint64_t directory, uint64_t next) {
  Put(nextAt_.at(directory), next, bigTiff_ ? 8 : 4);
}

std::string Ascii(const std::string& text) {
  return text + '\0';
}
