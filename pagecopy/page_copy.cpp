#include "pagecopy/page_copy.h"

#include <algorithm>
#include <deque>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "pagecopy/chunk_copy.h"
#include "pagecopy/directory_write.h"
#include "pagecopy/old_jpeg.h"
#include "pagecopy/page_check.h"
#include "pagecopy/unknown_tags.h"

void (*alterPageForTests)(std::vector<OutputEntry>* entries) = nullptr;

namespace {

// Bounds on the directories one page may link to, directly, through others or chained after
// them: real pages have a handful (EXIF, Interoperability, GPS, a few reduced resolutions), a
// damaged or hostile file may claim any number or nest them without end.
constexpr int kMaxDepth = 16;
constexpr size_t kMaxDirectories = 4096;

// A directory copied for the page, kept for the check after everything is written.
struct CopiedDirectory {
  uint64_t outputAt;  // 0 while it is being copied
  uint64_t next;      // where its next pointer leads in the output
  std::vector<OutputEntry> entries;
  // The chunks, for comparing their bytes: where they lay in the input and lie in the output.
  std::vector<uint64_t> inputOffsets;
  const ChunkList* chunks;
};

typedef std::pair<uint64_t, uint64_t> Key;

struct PageCopy {
  InputFile* input;
  TIFF* libtiff;
  uint64_t libtiffAt;      // the directory libtiff holds, 0 for none
  uint64_t libtiffFailed;  // the directory libtiff last refused
  int checkChunkBytes;
  OutputFile out;
  // Bytes the page may still claim: its chunks, directories, values and old-style JPEG blocks
  // together may claim at most twice what the input holds (its parts may overlap: an old-style
  // JPEG stream covers its strip), or overlapping or lying counts would make an output many times
  // larger than the input.
  uint64_t budget;
  std::deque<CopiedDirectory> directories;
  std::unordered_map<Key, size_t, ValuePlaces::Hash> copied;  // (input offset, kind) -> index
  // Lists of new numbers, each shared by every entry that repeats it.
  std::deque<std::vector<uint64_t>> lists;
  std::deque<ChunkList> chunkLists;
  std::map<std::tuple<uint64_t, uint64_t, uint16_t, uint16_t>, const std::vector<uint64_t>*> links;
  ValuePlaces places;
};

int CopyLinked(PageCopy* page, uint64_t at, DirectoryKind kind, int depth, uint64_t* outputAt);

const std::vector<uint64_t>* Keep(PageCopy* page, std::vector<uint64_t> numbers) {
  page->lists.push_back(std::move(numbers));
  return &page->lists.back();
}

// Puts libtiff on the directory at `at`; 0 when it cannot read it.
int LibtiffOn(PageCopy* page, uint64_t at) {
  if (page->libtiffAt == at) return 1;
  if (page->libtiff == nullptr || page->libtiffFailed == at) return 0;
  page->libtiffAt = 0;
  if (!TIFFSetSubDirectory(page->libtiff, at)) {
    page->libtiffFailed = at;
    return 0;
  }
  page->libtiffAt = at;
  return 1;
}

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

// Reads an image directory's chunks and copies them. `chunks` stays NULL for a directory with no
// chunk offsets; gives the new place of a stream found by StreamChunk in `streamAt`.
int PlaceChunks(PageCopy* page, uint64_t at, const std::vector<DirectoryEntry>& stored,
                const std::vector<EntryRole>& roles, CopiedDirectory* copy, uint64_t* streamAt) {
  const DirectoryEntry* offsets = FirstOf(stored, roles, kChunkOffsets);
  if (offsets == nullptr) return 1;
  page->chunkLists.emplace_back();
  ChunkList* chunks = &page->chunkLists.back();
  CountSource source = {page, at};
  if (!ReadChunkList(page->input, *offsets, FirstOf(stored, roles, kChunkByteCounts),
                     LibtiffCount, &source, chunks)) {
    return 0;
  }
  size_t stream = StreamChunk(page, stored, *chunks);
  if (page->checkChunkBytes) copy->inputOffsets = chunks->offsets;
  if (!CopyChunks(page->input, &page->out, &page->budget, chunks)) return 0;
  if (stream < chunks->offsets.size()) *streamAt = chunks->offsets[stream];
  copy->chunks = chunks;
  return 1;
}

// Copies every directory that a link entry points to and gives their places in the output. A
// repeat of the entry (the same values) shares the first one's.
int CopyLinks(PageCopy* page, const DirectoryEntry& entry, int depth,
              const std::vector<uint64_t>** placed) {
  auto key = std::make_tuple(entry.inField ? 0 : entry.valueAt, entry.count, entry.tag, entry.type);
  auto known = page->links.find(key);
  if (!entry.inField && known != page->links.end()) {
    *placed = known->second;
    return 1;
  }
  if (entry.count > kMaxDirectories) return 0;
  std::vector<uint64_t> offsets(entry.count);
  if (!ReadEntryNumbers(page->input, entry, offsets.data(), entry.count)) return 0;
  for (uint64_t& offset : offsets) {
    if (!CopyLinked(page, offset, LinkedKind(entry.tag), depth + 1, &offset)) return 0;
  }
  *placed = Keep(page, std::move(offsets));
  if (!entry.inField) page->links[key] = *placed;
  return 1;
}

// A byte-count entry for a page that stores none, from the counts libtiff worked out: in tag
// order among the others, under the tag that goes with the offsets.
int AddByteCounts(int bigTiff, const ChunkList& chunks, uint16_t offsetsTag,
                  std::vector<OutputEntry>* entries) {
  OutputEntry added = OutputEntry();
  added.stored.tag =
      offsetsTag == TIFFTAG_TILEOFFSETS ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
  added.stored.type = TIFF_LONG;
  added.role = kChunkByteCounts;
  added.numbers = &chunks.counts;
  uint64_t largest = 0;
  for (uint64_t count : chunks.counts) largest = std::max(largest, count);
  added.type = TypeHolding(bigTiff, TIFF_LONG, largest);
  size_t at = 0;
  while (at < entries->size() && (*entries)[at].stored.tag < added.stored.tag) ++at;
  entries->insert(entries->begin() + static_cast<std::ptrdiff_t>(at), added);
  return added.type != 0;
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
      planned->numbers = Keep(page, std::move(blocks));
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
         AddByteCounts(page->out.layout.bigTiff, *copy->chunks, offsets->tag, &entries);
}

// Copies the directory at `at` of `kind` (`stored`, or read here when NULL) with everything it
// locates, its next pointer leading to `next`, and gives its place in the output.
int CopyDirectory(PageCopy* page, uint64_t at, DirectoryKind kind, const StoredDirectory* stored,
                  int depth, uint64_t next, uint64_t* writtenAt) {
  size_t index = page->directories.size();
  page->copied[Key(at, kind)] = index;
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

// Where the directory at `at` of `kind` was copied for the page: 1 with its place (0 while it is
// still being copied), or 0 when it was not.
int FindCopy(const PageCopy* page, uint64_t at, DirectoryKind kind, uint64_t* outputAt) {
  auto found = page->copied.find(Key(at, kind));
  if (found == page->copied.end()) return 0;
  *outputAt = page->directories[found->second].outputAt;
  return 1;
}

// The next pointer of the directory at `at`; 0 when its entry list cannot be read.
int NextOf(InputFile* input, uint64_t at, uint64_t* next) {
  int big = input->layout.bigTiff;
  uint8_t bytes[8];
  if (at == 0 || !ReadInput(input, at, bytes, CountFieldSize(big))) return 0;
  uint64_t count = NumberAt(bytes, static_cast<int>(CountFieldSize(big)), input->layout.bigEndian);
  if (count > 65535) return 0;
  uint64_t pointerAt = NextPointerAt(big, at, count);
  *next = 0;
  if (ReadInput(input, pointerAt, bytes, OffsetSize(big)))
    *next = NumberAt(bytes, static_cast<int>(OffsetSize(big)), input->layout.bigEndian);
  return InsideInput(*input, at, pointerAt - at);
}

// Copies the linked directory at `at` of `kind` and every directory chained after it, unless the
// page copied them already, and gives its place in the output. The chain is walked first, so that
// each directory is written after the one that follows it and can point at it; it ends at a
// directory that cannot be read (with a warning) or one copied already. A loop fails the page.
int CopyLinked(PageCopy* page, uint64_t at, DirectoryKind kind, int depth, uint64_t* outputAt) {
  if (FindCopy(page, at, kind, outputAt)) return *outputAt != 0;
  if (at == 0 || depth > kMaxDepth) return 0;
  std::vector<uint64_t> chain;
  std::unordered_set<uint64_t> onChain;
  uint64_t following = 0;
  for (uint64_t member = at; member != 0;) {
    if (FindCopy(page, member, kind, &following)) {
      if (following == 0) return 0;
      break;
    }
    uint64_t next = 0;
    if (!onChain.insert(member).second ||
        page->directories.size() + chain.size() >= kMaxDirectories) {
      return 0;
    }
    if (!NextOf(page->input, member, &next)) {
      if (chain.empty()) return 0;
      WarnOnce(page->input->name, "a directory chained after a linked one cannot be read: the "
                                  "chain ends before it");
      break;
    }
    chain.push_back(member);
    member = next;
  }
  for (size_t i = chain.size(); i-- > 0;) {
    if (!CopyDirectory(page, chain[i], kind, nullptr, depth, following, &following)) return 0;
  }
  *outputAt = following;
  return 1;
}

// libtiff's view of the input page, taken while libtiff holds it, and whether there is one.
int InputView(PageCopy* page, uint64_t pageAt, ReaderView* view) {
  if (!LibtiffOn(page, pageAt)) return 0;
  ViewOf(page->libtiff, page->input->size, page->checkChunkBytes, view);
  return 1;
}

int CheckPage(PageCopy* page, uint64_t writtenAt, int viewed, const ReaderView& view) {
  if (!HeaderReadsBack(&page->out, writtenAt)) return 0;
  // In the order they were written, so that the reads run on through the file.
  std::vector<const CopiedDirectory*> written;
  for (const CopiedDirectory& copy : page->directories) written.push_back(&copy);
  std::sort(written.begin(), written.end(), [](const CopiedDirectory* a, const CopiedDirectory* b) {
    return a->outputAt < b->outputAt;
  });
  for (const CopiedDirectory* copy : written) {
    if (!CheckDirectory(page->input, &page->out, copy->outputAt, copy->next, copy->entries))
      return 0;
    if (page->checkChunkBytes && copy->chunks != nullptr &&
        !SameChunkBytes(page->input, &page->out, copy->inputOffsets, copy->chunks->offsets,
                        copy->chunks->counts)) {
      return 0;
    }
  }
  if (!viewed) return 1;
  // libtiff's strip arrays of the input page go before those of the output page are read.
  TIFFFreeDirectory(page->libtiff);
  page->libtiffAt = 0;
  static const std::vector<uint64_t> none;
  const CopiedDirectory& pageCopy = page->directories.front();
  return OutputLooksLike(page->input, &page->out, view, page->checkChunkBytes,
                         pageCopy.chunks != nullptr ? pageCopy.inputOffsets : none,
                         pageCopy.chunks != nullptr ? pageCopy.chunks->counts : none);
}

}  // namespace

int CopyPage(PageInput* input, uint64_t pageAt, const StoredDirectory& stored,
             const PageFile& output, int checkChunkBytes) {
  PageCopy page;
  page.input = input->file;
  page.libtiff = input->libtiff;
  page.libtiffAt = 0;
  page.libtiffFailed = 0;
  page.checkChunkBytes = checkChunkBytes;
  page.budget = 2 * input->file->size;
  StartOutput(output, input->file->layout, &page.out);
  ReaderView view;
  int viewed = InputView(&page, pageAt, &view);
  if (viewed) NoteUnknownTags(page.libtiff, stored.entries);
  uint64_t writtenAt = 0;
  return CopyDirectory(&page, pageAt, kImageDirectory, &stored, 0, 0, &writtenAt) &&
         WriteHeader(&page.out, writtenAt) && CheckPage(&page, writtenAt, viewed, view);
}
