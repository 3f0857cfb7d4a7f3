#include "pagecopy/page_copy.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "pagecopy/chunk_copy.h"
#include "pagecopy/directory_entries.h"
#include "pagecopy/directory_write.h"
#include "pagecopy/entry_roles.h"
#include "pagecopy/linked_directories.h"
#include "pagecopy/old_jpeg.h"
#include "pagecopy/output_file.h"
#include "pagecopy/unknown_tags.h"

namespace {

// Bounds on the directories one page may link to, directly or through others: real pages have a
// handful (EXIF, Interoperability, GPS, a few reduced resolutions), a damaged or hostile file may
// claim any number or nest them without end.
constexpr int kMaxDepth = 16;
constexpr size_t kMaxDirectories = 4096;

// A directory copied for the page, kept for the check after everything is written.
struct CopiedDirectory {
  uint64_t inputAt;
  DirectoryKind kind;
  uint64_t outputAt;  // 0 while it is being copied
  std::vector<OutputEntry> entries;
};

struct PageCopy {
  TIFF* input;
  TIFF* reader;  // SubIFDs are read through it; opened at the first
  OutputFile out;
  // Bytes the page may still claim: its chunks, directories, values and old-style JPEG blocks
  // together may claim at most twice what the input holds (its parts may overlap: an old-style
  // JPEG stream covers its strip), or overlapping or lying counts would make an output many times
  // larger than the input. A directory listed a thousand times is copied once, as it is stored.
  uint64_t budget;
  std::vector<CopiedDirectory> directories;
};

int CopyDirectory(PageCopy* page, uint64_t at, DirectoryKind kind, TIFF* source, int depth,
                  uint64_t* writtenAt);

uint64_t Largest(const std::vector<uint64_t>& numbers) {
  uint64_t largest = 0;
  for (uint64_t number : numbers) largest = number > largest ? number : largest;
  return largest;
}

int IsOldJpegPage(TIFF* input, const std::vector<DirectoryEntry>& stored) {
  const DirectoryEntry* compression = FindEntry(stored, TIFFTAG_COMPRESSION);
  uint64_t scheme = 0;
  return compression != nullptr && ReadEntryNumbers(input, *compression, &scheme, 1) &&
         scheme == COMPRESSION_OJPEG;
}

// Copies every directory that a link entry points to and gives their places in the output.
int CopyLinks(PageCopy* page, const DirectoryEntry& entry, int depth,
              std::vector<uint64_t>* placed) {
  if (entry.count > kMaxDirectories) return 0;
  std::vector<uint64_t> offsets(entry.count);
  if (!ReadEntryNumbers(page->input, entry, offsets.data(), static_cast<uint32_t>(entry.count))) {
    return 0;
  }
  placed->clear();
  for (uint64_t offset : offsets) {
    uint64_t writtenAt = 0;
    if (!CopyDirectory(page, offset, LinkedKind(entry.tag), nullptr, depth + 1, &writtenAt)) {
      return 0;
    }
    placed->push_back(writtenAt);
  }
  return 1;
}

// A byte-count entry for a page that has none, which libtiff worked out from the image's size:
// in tag order among the others. 0 when no type holds the counts.
int AddByteCounts(int bigTiff, int tiled, const std::vector<uint64_t>& counts,
                  std::vector<OutputEntry>* entries) {
  OutputEntry added = OutputEntry();
  added.type = TypeHolding(bigTiff, TIFF_LONG, Largest(counts));
  if (added.type == 0) return 0;
  added.stored.tag = tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
  added.role = kChunkByteCounts;
  added.renumbered = 1;
  added.numbers = counts;
  size_t at = 0;
  while (at < entries->size() && (*entries)[at].stored.tag < added.stored.tag) ++at;
  entries->insert(entries->begin() + static_cast<std::ptrdiff_t>(at), std::move(added));
  return 1;
}

// What each stored entry of a directory becomes, with the bytes it locates placed in the output
// first: an image directory's chunks (from `source`, positioned on it) and old-style JPEG blocks,
// and the linked directories.
int PlanEntries(PageCopy* page, TIFF* source, DirectoryKind kind,
                const std::vector<DirectoryEntry>& stored, int depth,
                std::vector<OutputEntry>* entries) {
  TIFF* input = page->input;
  int image = kind == kImageDirectory;
  int tiled = image && TIFFIsTiled(source);
  std::vector<uint64_t> offsets, counts;
  if (image && !CopyChunks(source, &page->out, &page->budget, &offsets, &counts)) return 0;
  int oldJpeg = image && IsOldJpegPage(input, stored);
  const size_t kNone = static_cast<size_t>(-1);
  size_t firstOffsets = kNone, firstCounts = kNone;
  entries->reserve(stored.size() + 1);
  for (const DirectoryEntry& entry : stored) {
    OutputEntry planned;
    planned.stored = entry;
    planned.role = RoleOf(input, kind, tiled, entry);
    planned.renumbered = planned.role != kCarried;
    planned.type = entry.type;
    switch (planned.role) {
      case kCarried:
        break;
      case kDropped:
        continue;
      case kForbidden:
        WarnLeftOut(input, entry.tag, ForbiddenReason(input, entry));
        continue;
      case kChunkOffsets:
      case kChunkByteCounts: {
        // Moved, not copied, for a page of a million strips; a repeated entry copies the first.
        size_t& first = planned.role == kChunkOffsets ? firstOffsets : firstCounts;
        std::vector<uint64_t>& numbers = planned.role == kChunkOffsets ? offsets : counts;
        planned.numbers = first != kNone ? (*entries)[first].numbers : std::move(numbers);
        if (first == kNone) first = entries->size();
        break;
      }
      case kOldJpegBlock:
        // An old-style JPEG page cannot be decoded without them; elsewhere they are left over.
        if (!PlaceOldJpegBlocks(input, stored, entry, &page->out, &page->budget,
                                &planned.numbers)) {
          if (oldJpeg) return 0;
          WarnLeftOut(input, entry.tag, "the JPEG data it points at cannot be read");
          continue;
        }
        break;
      case kLink:
        if (!CopyLinks(page, entry, depth, &planned.numbers)) return 0;
        break;
    }
    if (planned.renumbered) {
      planned.type = TypeHolding(page->out.bigTiff, entry.type, Largest(planned.numbers));
      if (planned.type == 0) return 0;
    }
    entries->push_back(std::move(planned));
  }
  return !image || firstCounts != kNone || AddByteCounts(page->out.bigTiff, tiled, counts, entries);
}

// Copies the directory at `at` of `kind`, with everything it locates, unless this page copied it
// already, and gives its place in the output. An image directory is read through `source`
// positioned on it, or (NULL) through the page's linked reader.
int CopyDirectory(PageCopy* page, uint64_t at, DirectoryKind kind, TIFF* source, int depth,
                  uint64_t* writtenAt) {
  for (const CopiedDirectory& copied : page->directories) {
    if (copied.inputAt == at && copied.kind == kind) {
      // A directory that links back to one still being copied makes a loop.
      *writtenAt = copied.outputAt;
      return copied.outputAt != 0;
    }
  }
  if (at == 0 || depth > kMaxDepth || page->directories.size() >= kMaxDirectories) return 0;
  size_t index = page->directories.size();
  page->directories.push_back({at, kind, 0, {}});
  if (kind == kImageDirectory && source == nullptr) {
    if (page->reader == nullptr) page->reader = OpenLinkedReader(page->input);
    if (page->reader == nullptr || !TIFFSetSubDirectory(page->reader, at)) return 0;
    source = page->reader;
  }
  std::vector<DirectoryEntry> stored;
  std::vector<OutputEntry> entries;
  if (!ReadDirectoryEntries(page->input, at, &stored)) return 0;
  if (kind == kImageDirectory) NoteUnknownTags(source, stored);
  if (!PlanEntries(page, source, kind, stored, depth, &entries) ||
      !WriteDirectory(page->input, &page->out, &entries, &page->budget, writtenAt)) {
    return 0;
  }
  page->directories[index].outputAt = *writtenAt;
  page->directories[index].entries = std::move(entries);
  return 1;
}

// Whether the header reads back as written, pointing at `pageAt`.
int HeaderReadsBack(OutputFile* out, uint64_t pageAt) {
  uint8_t header[16];
  int big = out->bigTiff;
  return out->file.readAt(out->file.file, 0, header, HeaderSize(out)) &&
         header[0] == (out->bigEndian ? 'M' : 'I') && header[1] == header[0] &&
         NumberAt(header + 2, 2, out->bigEndian) == (big ? 43u : 42u) &&
         (!big || (NumberAt(header + 4, 2, out->bigEndian) == 8 &&
                   NumberAt(header + 6, 2, out->bigEndian) == 0)) &&
         NumberAt(header + (big ? 8 : 4), big ? 8 : 4, out->bigEndian) == pageAt;
}

int CopyAndCheck(PageCopy* page, TIFF* input) {
  uint64_t pageAt = 0;
  if (!CopyDirectory(page, TIFFCurrentDirOffset(input), kImageDirectory, input, 0, &pageAt) ||
      !WriteHeader(&page->out, pageAt) || !HeaderReadsBack(&page->out, pageAt)) {
    return 0;
  }
  // In the order they were written, so that the reads run on through the file.
  std::vector<const CopiedDirectory*> written;
  for (const CopiedDirectory& copied : page->directories) written.push_back(&copied);
  std::sort(written.begin(), written.end(), [](const CopiedDirectory* a, const CopiedDirectory* b) {
    return a->outputAt < b->outputAt;
  });
  for (const CopiedDirectory* copied : written) {
    if (!CheckDirectory(input, &page->out, copied->outputAt, copied->entries)) return 0;
  }
  return 1;
}

}  // namespace

int CopyPage(TIFF* input, const PageFile& output) {
  PageCopy page;
  page.input = input;
  page.reader = nullptr;
  page.budget = 2 * static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  StartOutput(output, TIFFIsBigTIFF(input), TIFFIsBigEndian(input), &page.out);
  // A directory still being written (offset 0) has no stored entries to copy.
  int copied = TIFFCurrentDirOffset(input) != 0 && CopyAndCheck(&page, input);
  if (page.reader != nullptr) TIFFClose(page.reader);
  return copied;
}
