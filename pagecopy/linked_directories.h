// The directories a page links to: EXIF (with its Interoperability directory), GPS and SubIFDs.
// They are read through a second handle over the input's open file, so that the handle the split
// walks keeps its current directory and its own record of the directories it has seen.
#ifndef FOLICANT_PAGECOPY_LINKED_DIRECTORIES_H_
#define FOLICANT_PAGECOPY_LINKED_DIRECTORIES_H_

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "pagecopy/directory_entries.h"

/// A read handle over the file of `input` through the same client I/O, without a directory
/// read, memory mapping or strip chopping; closing it leaves the file open. NULL on failure.
TIFF* OpenLinkedReader(TIFF* input);

/// Writes to `output`, before any of the page's own tags, the EXIF directory (with the
/// Interoperability directory it points to) and the GPS directory that the page's `entries`
/// point to, each with every entry, and gives their offsets in the output (0 when the page has
/// none). Leaves `output` on a fresh image directory. Returns 1, or 0 when a directory cannot
/// be read or written.
int CopyExifAndGps(TIFF* reader, TIFF* output, const std::vector<DirectoryEntry>& entries,
                   uint64_t* exifOffset, uint64_t* gpsOffset);

/// The offsets of the SubIFDs of a page, from its SubIFD entry; an empty list when it has none.
/// Returns 0 when the entry cannot be read.
int ReadSubIfdOffsets(TIFF* reader, const std::vector<DirectoryEntry>& entries,
                      std::vector<uint64_t>* offsets);

/// Makes the image directory at `offset` the current directory of `reader` and gives its
/// entries. Returns 1, or 0 when it cannot be read.
int ReadLinkedImageDirectory(TIFF* reader, uint64_t offset, std::vector<DirectoryEntry>* entries);

#endif  // FOLICANT_PAGECOPY_LINKED_DIRECTORIES_H_
