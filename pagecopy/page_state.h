// The state of one page's copy, which the stages that copy its directories share.
#ifndef FOLICANT_PAGECOPY_PAGE_STATE_H_
#define FOLICANT_PAGECOPY_PAGE_STATE_H_

#include <tiffio.h>

#include <cstdint>
#include <deque>
#include <map>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pagecopy/chunk_copy.h"
#include "pagecopy/directory_read.h"
#include "pagecopy/directory_write.h"
#include "pagecopy/entry_plan.h"
#include "pagecopy/input_file.h"
#include "pagecopy/output_file.h"

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
  // The chunks: where they lie in the output, and (the page's own, with /r) where they lay in the
  // input, so that what libtiff reads elsewhere than a copied chunk can be told apart.
  std::vector<uint64_t> inputOffsets;
  const ChunkList* chunks;
};

typedef std::pair<uint64_t, uint64_t> DirectoryKey;

struct PageCopy {
  InputFile* input;
  uint64_t pageAt;
  TIFF* libtiff;
  uint64_t libtiffAt;      // the directory libtiff holds, 0 for none
  uint64_t libtiffFailed;  // the directory libtiff last refused
  int libtiffSeesStored;   // whether libtiff places and counts the page's chunks as stored
  int checkChunkBytes;
  OutputFile out;
  // Bytes the page may still claim: its chunks, directories, values and old-style JPEG blocks
  // together may claim at most twice what the input holds (its parts may overlap: an old-style
  // JPEG stream covers its strip), or overlapping or lying counts would make an output many times
  // larger than the input.
  uint64_t budget;
  std::deque<CopiedDirectory> directories;
  std::unordered_map<DirectoryKey, size_t, ValuePlaces::Hash>
      copied;  // (input offset, kind) -> index
  // Lists of new numbers, each shared by every entry that repeats it.
  std::deque<std::vector<uint64_t>> lists;
  std::deque<ChunkList> chunkLists;
  std::map<std::tuple<uint64_t, uint64_t, uint16_t, uint16_t>, const std::vector<uint64_t>*> links;
  ValuePlaces places;
};

/// Keeps `numbers` for the page: the list that every entry repeating them shares.
const std::vector<uint64_t>* KeepNumbers(PageCopy* page, std::vector<uint64_t> numbers);

/// Puts libtiff on the directory at `at`. Returns 1, or 0 when libtiff cannot read it.
int LibtiffOn(PageCopy* page, uint64_t at);

/// Copies the directory at `at` of `kind` (`stored`, or read here when NULL) with everything it
/// locates, its next pointer leading to `next`, and gives its place in the output. Returns 1, or
/// 0 when the page cannot be carried.
int CopyDirectory(PageCopy* page, uint64_t at, DirectoryKind kind, const StoredDirectory* stored,
                  int depth, uint64_t next, uint64_t* writtenAt);

/// Copies every directory that the link `entry`, in a directory `depth` deep, points to, each
/// with the directories chained after it, and gives their places in the output in `placed`. A
/// repeat of the entry (the same values) shares the first one's. Returns 1, or 0 when a linked
/// directory cannot be read, the links loop, or they run too deep or too many.
int CopyLinks(PageCopy* page, const DirectoryEntry& entry, int depth,
              const std::vector<uint64_t>** placed);

#endif  // FOLICANT_PAGECOPY_PAGE_STATE_H_
