#include "pagecopy/page_check.h"

#include <cstring>

#include "pagecopy/directory_read.h"
#include "pagecopy/directory_write.h"
#include "pagecopy/libtiff_io.h"

namespace {

// Compared in pieces of this size, whatever the size of a value.
constexpr uint64_t kPiece = 16 * 1024;

uint64_t ValueSize(const OutputEntry& entry) {
  return CountOf(entry) * TypeSize(entry.type);
}

// Whether the `size` bytes of values the output holds at `at` are `entry`'s: its new numbers, or
// its stored bytes, compared with the bytes written from the input while they are still held, or
// else with the input itself.
int SameValues(InputFile* input, OutputFile* out, const OutputEntry& entry, uint64_t at,
               uint64_t size) {
  uint8_t expected[kPiece];
  for (uint64_t done = 0; done < size;) {
    uint64_t step = size - done < kPiece ? size - done : kPiece;
    const uint8_t* wanted = expected;
    if (entry.numbers != nullptr) {
      PutNumbers(out->layout.bigEndian, entry, done / TypeSize(entry.type), expected, step);
    } else {
      wanted = WrittenBytes(out, at + done, step);
      if (wanted == nullptr) {
        if (!ReadInput(input, entry.stored.valueAt + done, expected, step)) return 0;
        wanted = expected;
      }
    }
    const uint8_t* held = ReadBack(out, at + done, step);
    if (held == nullptr || memcmp(held, wanted, step) != 0) return 0;
    done += step;
  }
  return 1;
}

// Every chunk the entries place lies inside the file with its count.
int ChunksInsideFile(const std::vector<OutputEntry>& entries, uint64_t fileSize) {
  const OutputEntry* offsets = nullptr;
  const OutputEntry* counts = nullptr;
  for (const OutputEntry& entry : entries) {
    if (entry.role == kChunkOffsets && offsets == nullptr) offsets = &entry;
    if (entry.role == kChunkByteCounts && counts == nullptr) counts = &entry;
  }
  if (offsets == nullptr) return 1;
  if (counts == nullptr || counts->numbers->size() < offsets->numbers->size()) return 0;
  for (size_t i = 0; i < offsets->numbers->size(); ++i) {
    uint64_t at = (*offsets->numbers)[i], size = (*counts->numbers)[i];
    if (size != 0 && (at > fileSize || size > fileSize - at)) return 0;
  }
  return 1;
}

// Whether the `size` bytes at `from` in the input are those at `to` in the output.
int SameBytes(InputFile* input, OutputFile* out, uint64_t from, uint64_t to, uint64_t size) {
  uint64_t spare = 0;
  uint8_t* buffer = SpareBuffer(&spare);
  uint64_t piece = spare / 2;
  uint8_t* written = buffer + piece;
  for (uint64_t done = 0; done < size;) {
    uint64_t step = size - done < piece ? size - done : piece;
    if (!ReadInput(input, from + done, buffer, step)) return 0;
    // Small pieces come through the read-back window, larger ones straight.
    const uint8_t* held = written;
    if (step <= kPiece) {
      held = ReadBack(out, to + done, step);
      if (held == nullptr) return 0;
    } else if (to + done > out->end || step > out->end - (to + done) ||
               !out->file.readAt(out->file.file, to + done, written, step)) {
      return 0;
    }
    if (memcmp(buffer, held, step) != 0) return 0;
    done += step;
  }
  return 1;
}

uint64_t Mix(uint64_t digest, uint64_t value) {
  digest ^= value + 0x9E3779B97F4A7C15ull + (digest << 6) + (digest >> 2);
  return digest * 0xBF58476D1CE4E5B9ull;
}

}  // namespace

int HeaderReadsBack(OutputFile* out, uint64_t first) {
  uint8_t expected[16];
  uint64_t size = HeaderSize(out->layout.bigTiff);
  PutHeader(expected, out->layout, first);
  const uint8_t* header = ReadBack(out, 0, size);
  return header != nullptr && memcmp(header, expected, size) == 0;
}

int CheckDirectory(InputFile* input, OutputFile* out, uint64_t writtenAt, uint64_t next,
                   const std::vector<OutputEntry>& entries) {
  int big = out->layout.bigTiff;
  int bigEndian = out->layout.bigEndian;
  uint64_t countSize = CountFieldSize(big), entrySize = EntrySize(big);
  int fieldSize = static_cast<int>(OffsetSize(big));
  const uint8_t* head = ReadBack(out, writtenAt, countSize);
  if (head == nullptr || NumberAt(head, static_cast<int>(countSize), bigEndian) != entries.size()) {
    return 0;
  }
  uint64_t listSize = entries.size() * entrySize + fieldSize;
  const uint8_t* list = ReadBack(out, writtenAt + countSize, listSize);
  if (list == nullptr ||
      NumberAt(list + entries.size() * entrySize, fieldSize, bigEndian) != next) {
    return 0;
  }
  std::vector<DirectoryEntry> written;
  ParseEntries(list, entries.size(), out->layout, writtenAt + countSize, &written);
  for (size_t i = 0; i < entries.size(); ++i) {
    const OutputEntry& entry = entries[i];
    const DirectoryEntry& copy = written[i];
    if (copy.tag != entry.stored.tag || copy.type != entry.type || copy.count != CountOf(entry)) {
      return 0;
    }
    uint64_t size = ValueSize(entry);
    if (copy.inField) {
      uint8_t expected[8] = {0};
      if (entry.numbers != nullptr) {
        PutNumbers(bigEndian, entry, 0, expected, sizeof expected);
      } else {
        memcpy(expected, entry.stored.field, size);
      }
      if (memcmp(copy.field, expected, size) != 0) return 0;
    } else if (copy.valueAt != entry.placedAt ||
               (!entry.sharesPlace && !SameValues(input, out, entry, copy.valueAt, size))) {
      return 0;
    }
  }
  return ChunksInsideFile(entries, out->end);
}

void ViewOf(TIFF* tiff, uint64_t fileSize, int keepChunks, ReaderView* view) {
  memset(view->numbers, 0, sizeof view->numbers);
  view->chunks.clear();
  uint32_t width = 0, length = 0, tileWidth = 0, tileLength = 0;
  uint16_t bits = 0, samples = 0, format = 0, compression = 0, photometric = 0, planar = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &length);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  int tiled = TIFFIsTiled(tiff);
  if (tiled) {
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength);
  }
  uint16_t subIfds = 0;
  uint64_t* subIfdOffsets = nullptr;
  TIFFGetField(tiff, TIFFTAG_SUBIFD, &subIfds, &subIfdOffsets);
  uint32_t chunks = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  uint64_t digest = 0;
  for (uint32_t i = 0; i < chunks; ++i) {
    int error = 0;
    uint64_t size = TIFFGetStrileByteCountWithErr(tiff, i, &error);
    uint64_t at = error ? 0 : TIFFGetStrileOffsetWithErr(tiff, i, &error);
    int inside = !error && at != 0 && at <= fileSize && size <= fileSize - at;
    digest = Mix(Mix(digest, error ? ~0ull : size), inside);
    if (keepChunks && !error && at != 0) view->chunks.insert(view->chunks.end(), {i, at, size});
  }
  const uint64_t numbers[] = {width,       length,     bits,
                              samples,     format,     compression,
                              photometric, planar,     static_cast<uint64_t>(tiled),
                              tileWidth,   tileLength, chunks,
                              digest,      subIfds};
  memcpy(view->numbers, numbers, sizeof numbers);
}

int OutputLooksLike(InputFile* input, OutputFile* out, const ReaderView& view, int compareBytes,
                    const std::vector<uint64_t>& copiedFrom, const std::vector<uint64_t>& counts) {
  TIFF* tiff = OpenLibtiffOnOutput(out);
  if (tiff == nullptr) return 0;
  ReaderView output;
  ViewOf(tiff, out->end, 0, &output);
  int same = memcmp(output.numbers, view.numbers, sizeof view.numbers) == 0;
  for (size_t i = 0; same && compareBytes && i < view.chunks.size(); i += 3) {
    uint64_t chunk = view.chunks[i], at = view.chunks[i + 1], size = view.chunks[i + 2];
    // The copied chunks were compared already; only what libtiff reads elsewhere is left.
    int copied = chunk < copiedFrom.size() && copiedFrom[chunk] == at && counts[chunk] == size;
    if (copied || !InsideInput(*input, at, size)) continue;
    same = SameBytes(input, out, at, TIFFGetStrileOffset(tiff, static_cast<uint32_t>(chunk)), size);
  }
  CloseLibtiff(tiff);
  return same;
}
