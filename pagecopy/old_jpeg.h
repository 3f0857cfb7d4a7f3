// The old-style JPEG tags (Compression 6, tags 512-521): libtiff can read but not write them, and
// three of them point at bytes of the input (the JPEG interchange stream and the quantisation
// and Huffman tables), which the copy places in the output.
#ifndef FOLICANT_PAGECOPY_OLD_JPEG_H_
#define FOLICANT_PAGECOPY_OLD_JPEG_H_

#include <tiffio.h>

#include <vector>

#include "pagecopy/directory_entries.h"

/// For a page whose `entries` hold any of the tags 512-521: appends the JPEGInterchangeFormat
/// stream (513, 514 long) and every table that 519-521 point at to the end of `output` through
/// its client I/O, and sets all present tags 512-521 with their stored types and counts, the
/// offsets rewritten. Must run before the output's Compression is set, which makes its old-style
/// JPEG codec claim these tags and write none of them. Returns 1, or 0 when the page cannot be
/// carried: a stream without its length (514 missing or 0), an offset tag of a type that is not an
/// unsigned integer, a pointed-at block outside the file, or a failed read or write.
int CopyOldJpegTags(TIFF* input, TIFF* output, const std::vector<DirectoryEntry>& entries);

#endif  // FOLICANT_PAGECOPY_OLD_JPEG_H_
