// What each stored entry of a directory becomes in the output. Nearly every entry is carried as
// stored, its bytes untouched; the few whose values locate bytes of the input file (image data,
// linked directories, old-style JPEG blocks) take the new places of those bytes; the output
// cannot hold a handful of others.
#ifndef FOLICANT_PAGECOPY_ENTRY_PLAN_H_
#define FOLICANT_PAGECOPY_ENTRY_PLAN_H_

#include <cstdint>
#include <vector>

#include "pagecopy/directory_read.h"

/// The kinds of directory a page is made of: the tags of each kind have meanings of their own.
enum DirectoryKind {
  kImageDirectory,  // the page itself and its SubIFDs
  kExifDirectory,
  kGpsDirectory,
  kInteropDirectory,  // the EXIF Interoperability directory
};

enum EntryRole {
  kCarried,       // the stored type, count and value bytes
  kChunkOffsets,  // where the copied chunks lie (StripOffsets or TileOffsets, as the reader takes)
  kChunkByteCounts,  // the counts of the copied chunks (StripByteCounts or TileByteCounts)
  kLink,             // offsets of directories of the kind LinkedKind gives
  kOldJpegBlock,     // the old-style JPEG stream or tables: where the copied blocks lie
  kDropped,          // FreeOffsets and FreeByteCounts: the input's free space means nothing here
  kForbidden,        // the output cannot hold it (ForbiddenReason says why)
};

/// One entry of a directory to write: the stored entry's type, count and value bytes, or, when
/// `numbers` is set, those unsigned values in `type`, for the entries that locate bytes of the
/// file. Repeated entries share one list of numbers.
struct OutputEntry {
  DirectoryEntry stored;
  EntryRole role;
  uint16_t type;
  const std::vector<uint64_t>* numbers;
  uint64_t placedAt;  // where the values went, when they do not fit the entry
  int sharesPlace;    // whether they went where the same values were written for an earlier entry
};

/// The roles of the `stored` entries of a directory of `kind` in `input`, in their order. An image
/// directory's chunks lie where its reader takes them from: of StripOffsets and TileOffsets the
/// one stored last (of each, its first entry: readers ignore repeats), whether the page is tiled
/// or not; likewise the counts. The other offsets tag points at bytes not copied.
void AssignRoles(const InputFile& input, DirectoryKind kind,
                 const std::vector<DirectoryEntry>& stored, std::vector<EntryRole>* roles);

/// Why AssignRoles found `entry` forbidden, for the warning.
const char* ForbiddenReason(const InputFile& input, const DirectoryEntry& entry);

/// The kind of the directories a link entry with `tag` points to.
DirectoryKind LinkedKind(uint16_t tag);

/// The type new offsets or counts are written in: the stored unsigned type while `largest` fits
/// it, else LONG, or LONG8 (IFD8 for IFD) in BigTIFF. 0 when none holds it (past 4 GiB in a
/// classic file).
uint16_t TypeHolding(int bigTiff, uint16_t storedType, uint64_t largest);

/// Adds to `entries`, in tag order, a byte-count entry for a directory that stores none, with the
/// `counts` libtiff worked out, under the tag that goes with `offsetsTag`. Returns 1, or 0 when no
/// type holds the counts.
int AddByteCounts(int bigTiff, const std::vector<uint64_t>& counts, uint16_t offsetsTag,
                  std::vector<OutputEntry>* entries);

/// The number of values `entry` is written with.
inline uint64_t CountOf(const OutputEntry& entry) {
  return entry.numbers != nullptr ? entry.numbers->size() : entry.stored.count;
}

#endif  // FOLICANT_PAGECOPY_ENTRY_PLAN_H_
