// The old-style JPEG tags (Compression 6, tags 512-521): three of them point at bytes of the input
// (the JPEG interchange stream and the quantisation and Huffman tables), which the copy places in
// the output.
#ifndef FOLICANT_PAGECOPY_OLD_JPEG_H_
#define FOLICANT_PAGECOPY_OLD_JPEG_H_

#include <cstdint>
#include <vector>

#include "pagecopy/directory_read.h"
#include "pagecopy/output_file.h"

/// Appends to `out` the blocks that `entry` points at (JPEGInterchangeFormat: the stream, as long
/// as JPEGInterchangeFormatLength in `entries` says; JPEGQTables, JPEGDCTables, JPEGACTables: one
/// table per component) at even offsets, and gives their places in `placed`. The blocks may claim
/// at most `*budget` bytes, which they then use up. Returns 1, or 0 when they cannot be placed: a
/// stream without its length (514 missing or 0), more than 4 tables, a block outside the file,
/// more than the budget, or a failed write.
int PlaceOldJpegBlocks(InputFile* input, const std::vector<DirectoryEntry>& entries,
                       const DirectoryEntry& entry, OutputFile* out, uint64_t* budget,
                       std::vector<uint64_t>* placed);

#endif  // FOLICANT_PAGECOPY_OLD_JPEG_H_
