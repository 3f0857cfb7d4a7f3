// What each stored entry of a directory becomes in the output. Nearly every entry is carried as
// stored, its bytes untouched; the few whose values locate bytes of the input file (image data,
// linked directories, old-style JPEG blocks) take the new places of those bytes; the output
// cannot hold a handful of others.
#ifndef FOLICANT_PAGECOPY_ENTRY_ROLES_H_
#define FOLICANT_PAGECOPY_ENTRY_ROLES_H_

#include <tiffio.h>

#include <cstdint>

#include "pagecopy/directory_entries.h"

/// The kinds of directory a page is made of: the tags of each kind have meanings of their own.
enum DirectoryKind {
  kImageDirectory,  // the page itself and its SubIFDs
  kExifDirectory,
  kGpsDirectory,
  kInteropDirectory,  // the EXIF Interoperability directory
};

enum EntryRole {
  kCarried,          // the stored type, count and value bytes
  kChunkOffsets,     // StripOffsets or TileOffsets: where the copied chunks lie
  kChunkByteCounts,  // StripByteCounts or TileByteCounts: the counts of the copied chunks
  kLink,             // offsets of directories of the kind LinkedKind gives
  kOldJpegBlock,     // the old-style JPEG stream or tables: where the copied blocks lie
  kDropped,          // FreeOffsets and FreeByteCounts: the input's free space means nothing here
  kForbidden,        // the output cannot hold it (ForbiddenReason says why)
};

/// The role of `entry` of a directory of `kind` in `input` (whose format the output shares);
/// `tiled` says which offset and count tags locate an image directory's chunks.
EntryRole RoleOf(TIFF* input, DirectoryKind kind, int tiled, const DirectoryEntry& entry);

/// Why RoleOf found `entry` forbidden, for the warning.
const char* ForbiddenReason(TIFF* input, const DirectoryEntry& entry);

/// The kind of the directories a link entry with `tag` points to.
DirectoryKind LinkedKind(uint16_t tag);

#endif  // FOLICANT_PAGECOPY_ENTRY_ROLES_H_
