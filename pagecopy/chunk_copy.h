// The page's image data: every strip or tile copied raw, still compressed, as the directory's
// stored entries place them, whatever its geometry implies.
#ifndef FOLICANT_PAGECOPY_CHUNK_COPY_H_
#define FOLICANT_PAGECOPY_CHUNK_COPY_H_

#include <cstdint>
#include <vector>

#include "pagecopy/directory_read.h"
#include "pagecopy/output_file.h"

struct ChunkList {
  std::vector<uint64_t> offsets;  // as stored; after CopyChunks, where each chunk landed
  std::vector<uint64_t> counts;   // one per offset, then any further counts stored
  int countsChanged;              // whether a count is not the one stored, or none was stored
};

/// Gives the count that libtiff, reading the same directory, works out for chunk `index`, when it
/// places that chunk at `offset` too. Returns 1, or 0 when libtiff has no such count.
typedef int (*WorkedOutCount)(void* context, uint64_t index, uint64_t offset, uint64_t* count);

/// Reads the chunks of a directory from its stored `offsets` and `counts` entries (`counts` may be
/// NULL). A chunk with no stored count, or whose stored count runs past the end of the file,
/// takes the count `workedOut` gives (the second with a warning once per run). Returns 1, or 0
/// when the offsets cannot be read or a chunk's count is not known.
int ReadChunkList(InputFile* input, const DirectoryEntry& offsets, const DirectoryEntry* counts,
                  WorkedOutCount workedOut, void* context, ChunkList* chunks);

/// Appends every chunk of `chunks` to `out` as stored: chunk i of the input becomes chunk i of the
/// output with the same bytes; an empty chunk (a sparse one) has offset and count 0 and writes
/// nothing. The chunks may claim at most as many bytes as the input holds, and at most `*budget`
/// bytes, which they then use up; more means overlapping or lying counts, and then nothing is
/// written. Returns 1, or 0 when the chunks claim too much, the file does not hold a chunk's
/// bytes, or a write fails.
int CopyChunks(InputFile* input, OutputFile* out, uint64_t* budget, ChunkList* chunks);

#endif  // FOLICANT_PAGECOPY_CHUNK_COPY_H_
