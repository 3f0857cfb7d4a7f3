// The page's image data: every strip or tile copied raw, still compressed.
#ifndef FOLICANT_PAGECOPY_CHUNK_COPY_H_
#define FOLICANT_PAGECOPY_CHUNK_COPY_H_

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "pagecopy/output_file.h"

/// Appends every strip (or tile) of the current directory of `source` to `out` as stored: chunk i
/// of the input becomes chunk i of the output with the same bytes, read from its stored offset in
/// pieces of at most 1 MiB whatever its size. Gives where each chunk landed in `offsets` and its
/// stored count in `counts`; an empty chunk (a sparse one) has offset and count 0 and writes
/// nothing. The chunks may claim at most as many bytes as the input holds, and at most `*budget`
/// bytes, which they then use up; more means overlapping or lying counts, and then nothing is
/// written. Returns 1, or 0 when the chunks claim too much, the directory holds no entry for one,
/// the file does not hold a chunk's bytes, or a write fails.
int CopyChunks(TIFF* source, OutputFile* out, uint64_t* budget, std::vector<uint64_t>* offsets,
               std::vector<uint64_t>* counts);

#endif  // FOLICANT_PAGECOPY_CHUNK_COPY_H_
