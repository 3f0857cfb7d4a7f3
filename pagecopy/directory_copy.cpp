// Copying one directory: its chunks placed, what each entry becomes planned, then written.
#include <algorithm>

#include "pagecopy/old_jpeg.h"
#include "pagecopy/page_copy.h"
#include "pagecopy/page_state.h"
#include "pagecopy/unknown_tags.h"

namespace {

struct CountSource {
  PageCopy* page;
  uint64_t at;
};

// libtiff's count for a chunk of the directory at `source->at`, when libtiff places it as stored.
int LibtiffCount(void* context, uint64_t index, uint64_t offset, uint64_t* count) {
  CountSource* source = static_cast<CountSource*>(context);
  PageCopy* page = source->page;
  if (index > 0xFFFFFFFFu || !LibtiffOn(page, source->at)) return 0;
  TIFF* tiff = page->libtiff;
  uint32_t chunks = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  int error = 0;
  uint32_t i = static_cast<uint32_t>(index);
  if (i >= chunks || TIFFGetStrileOffsetWithErr(tiff, i, &error) != offset || error) return 0;
  *count = TIFFGetStrileByteCountWithErr(tiff, i, &error);
  return !error && (*count == 0 || InsideInput(*page->input, offset, *count));
}

// The first entry of `role`, or NULL.
const DirectoryEntry* FirstOf(const std::vector<DirectoryEntry>& stored,
                              const std::vector<EntryRole>& roles, EntryRole role) {
  for (size_t i = 0; i < stored.size(); ++i) {
    if (roles[i] == role) return &stored[i];
  }
  return nullptr;
}

// The chunk an old-style JPEG stream stored without its length begins: scanners point
// JPEGInterchangeFormat at the page's strip. The chunk count when there is none.
size_t StreamChunk(PageCopy* page, const std::vector<DirectoryEntry>& stored,
                   const ChunkList& chunks) {
  const DirectoryEntry* stream = FindEntry(stored, TIFFTAG_JPEGIFOFFSET);
  uint64_t at = 0;
  if (stream == nullptr || FindEntry(stored, TIFFTAG_JPEGIFBYTECOUNT) != nullptr ||
      stream->count != 1 || !ReadEntryNumbers(page->input, *stream, &at, 1)) {
    return chunks.offsets.size();
  }
  for (size_t i = 0; i < chunks.offsets.size(); ++i) {
    if (chunks.offsets[i] == at && chunks.counts[i] != 0) return i;
  }
  return chunks.offsets.size();
}

// Whether libtiff, reading the page, holds the chunks as the stored entries give them: the same
// number, each at its stored offset with its stored count.
int LibtiffSeesChunks(PageCopy* page, const ChunkList& chunks) {
  if (chunks.countsChanged || !LibtiffOn(page, page->pageAt)) return 0;
  TIFF* tiff = page->libtiff;
  uint32_t count = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  if (count != chunks.offsets.size()) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    int error = 0;
    if (TIFFGetStrileOffsetWithErr(tiff, i, &error) != chunks.offsets[i] || error ||
        TIFFGetStrileByteCountWithErr(tiff, i, &error) != chunks.counts[i] || error) {
      return 0;
    }
  }
  return 1;
}

// Reads an image directory's chunks and copies them. `chunks` stays NULL for a directory with no
// chunk offsets; gives the new place of a stream found by StreamChunk in `streamAt`.
int PlaceChunks(PageCopy* page, uint64_t at, const std::vector<DirectoryEntry>& stored,
                const std::vector<EntryRole>& roles, CopiedDirectory* copy, uint64_t* streamAt) {
  const DirectoryEntry* offsets = FirstOf(stored, roles, kChunkOffsets);
  if (at == page->pageAt) page->libtiffSeesStored = 0;
  if (offsets == nullptr) return 1;
  page->chunkLists.emplace_back();
  ChunkList* chunks = &page->chunkLists.back();
  CountSource source = {page, at};
  if (!ReadChunkList(page->input, *offsets, FirstOf(stored, roles, kChunkByteCounts), LibtiffCount,
                     &source, chunks)) {
    return 0;
  }
  size_t stream = StreamChunk(page, stored, *chunks);
  if (at == page->pageAt) page->libtiffSeesStored = LibtiffSeesChunks(page, *chunks);
  if (page->checkChunkBytes && at == page->pageAt) copy->inputOffsets = chunks->offsets;
  if (!CopyChunks(page->input, &page->out, &page->budget, chunks)) return 0;
  if (stream < chunks->offsets.size()) *streamAt = chunks->offsets[stream];
  copy->chunks = chunks;
  return 1;
}

// What one stored entry becomes; 0 when the page cannot be carried. A `planned` left without a
// type is left out.
int PlanEntry(PageCopy* page, const std::vector<DirectoryEntry>& stored, size_t index,
              EntryRole role, const CopiedDirectory& copy, uint64_t streamAt, int depth,
              OutputEntry* planned) {
  const DirectoryEntry& entry = stored[index];
  *planned = OutputEntry();
  planned->stored = entry;
  planned->role = role;
  planned->type = entry.type;
  switch (role) {
    case kCarried:
      return 1;
    case kDropped:
      planned->type = 0;
      return 1;
    case kForbidden:
      WarnLeftOut(page->input->name, entry.tag, ForbiddenReason(*page->input, entry));
      planned->type = 0;
      return 1;
    case kChunkOffsets:
    case kChunkByteCounts:
      // Counts with no offsets to go with them are only numbers.
      if (copy.chunks == nullptr) return 1;
      planned->numbers = role == kChunkOffsets ? &copy.chunks->offsets : &copy.chunks->counts;
      break;
    case kOldJpegBlock: {
      std::vector<uint64_t> blocks;
      if (entry.tag == TIFFTAG_JPEGIFOFFSET && streamAt != 0) {
        blocks.push_back(streamAt);
      } else if (!PlaceOldJpegBlocks(page->input, stored, entry, &page->out, &page->budget,
                                     &blocks)) {
        return 0;
      }
      planned->numbers = KeepNumbers(page, std::move(blocks));
      break;
    }
    case kLink:
      if (!CopyLinks(page, entry, depth, &planned->numbers)) return 0;
      break;
  }
  uint64_t largest = 0;
  for (uint64_t number : *planned->numbers) largest = std::max(largest, number);
  planned->type = TypeHolding(page->out.layout.bigTiff, entry.type, largest);
  return planned->type != 0;
}

int IsOldJpegPage(InputFile* input, const std::vector<DirectoryEntry>& stored) {
  const DirectoryEntry* compression = FindEntry(stored, TIFFTAG_COMPRESSION);
  uint64_t scheme = 0;
  return compression != nullptr && ReadEntryNumbers(input, *compression, &scheme, 1) &&
         scheme == COMPRESSION_OJPEG;
}

// What each stored entry of the directory at `at` becomes, with the bytes it locates placed in
// the output first: an image directory's chunks and old-style JPEG blocks, and the linked
// directories.
int PlanDirectory(PageCopy* page, uint64_t at, DirectoryKind kind,
                  const std::vector<DirectoryEntry>& stored, int depth, CopiedDirectory* copy) {
  std::vector<EntryRole> roles;
  AssignRoles(*page->input, kind, stored, &roles);
  uint64_t streamAt = 0;
  if (kind == kImageDirectory && !PlaceChunks(page, at, stored, roles, copy, &streamAt)) return 0;
  int oldJpeg = kind == kImageDirectory && IsOldJpegPage(page->input, stored);
  std::vector<OutputEntry>& entries = copy->entries;
  entries.reserve(stored.size() + 1);
  for (size_t i = 0; i < stored.size(); ++i) {
    OutputEntry planned;
    if (!PlanEntry(page, stored, i, roles[i], *copy, streamAt, depth, &planned)) {
      // An old-style JPEG page cannot be decoded without its blocks; elsewhere they are left over.
      if (roles[i] != kOldJpegBlock || oldJpeg) return 0;
      WarnLeftOut(page->input->name, stored[i].tag, "the JPEG data it points at cannot be read");
      continue;
    }
    if (planned.type != 0) entries.push_back(planned);
  }
  const DirectoryEntry* offsets = FirstOf(stored, roles, kChunkOffsets);
  return copy->chunks == nullptr || FirstOf(stored, roles, kChunkByteCounts) != nullptr ||
         AddByteCounts(page->out.layout.bigTiff, copy->chunks->counts, offsets->tag, &entries);
}

}  // namespace

int CopyDirectory(PageCopy* page, uint64_t at, DirectoryKind kind, const StoredDirectory* stored,
                  int depth, uint64_t next, uint64_t* writtenAt) {
  size_t index = page->directories.size();
  page->copied[DirectoryKey(at, kind)] = index;
  page->directories.emplace_back();
  page->directories.back().outputAt = 0;
  page->directories.back().chunks = nullptr;
  StoredDirectory read;
  if (stored == nullptr) {
    if (!ReadDirectory(page->input, at, &read)) return 0;
    stored = &read;
  }
  CopiedDirectory& copy = page->directories[index];
  if (!PlanDirectory(page, at, kind, stored->entries, depth, &copy)) return 0;
  if (depth == 0 && alterPageForTests != nullptr) alterPageForTests(&copy.entries);
  if (!WriteDirectory(page->input, &page->out, &copy.entries, next, &page->places, &page->budget,
                      writtenAt)) {
    return 0;
  }
  copy.outputAt = *writtenAt;
  copy.next = next;
  return 1;
}
