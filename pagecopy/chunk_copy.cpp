#include "pagecopy/chunk_copy.h"

#include <string>

#include "pagecopy/unknown_tags.h"

int ReadChunkList(InputFile* input, const DirectoryEntry& offsets, const DirectoryEntry* counts,
                  WorkedOutCount workedOut, void* context, ChunkList* chunks) {
  uint64_t n = offsets.count;
  chunks->countsChanged = 0;
  if (n > input->size) return 0;  // a chunk array takes at least a byte a chunk in the file
  chunks->offsets.resize(n);
  if (!ReadEntryNumbers(input, offsets, chunks->offsets.data(), n)) return 0;
  uint64_t stored = 0;
  if (counts != nullptr && IsUnsignedType(counts->type) && counts->count <= input->size) {
    chunks->counts.resize(counts->count > n ? counts->count : n);
    if (ReadEntryNumbers(input, *counts, chunks->counts.data(), counts->count))
      stored = counts->count;
  }
  if (stored < n) {
    chunks->counts.resize(n);
    chunks->countsChanged = 1;
  }
  for (uint64_t i = 0; i < n; ++i) {
    uint64_t& count = chunks->counts[i];
    uint64_t at = chunks->offsets[i];
    if (i < stored && (count == 0 || InsideInput(*input, at, count))) continue;
    if (!workedOut(context, i, at, &count)) return 0;
    if (i < stored) {
      WarnOnce(input->name, "Tag " + std::to_string(counts->tag) +
                                ": a byte count runs past the end of the file; the count libtiff "
                                "works out for it is used");
    }
    chunks->countsChanged = 1;
  }
  return 1;
}

int CopyChunks(InputFile* input, OutputFile* out, uint64_t* budget, ChunkList* chunks) {
  std::vector<uint64_t>& offsets = chunks->offsets;
  const std::vector<uint64_t>& counts = chunks->counts;
  size_t n = offsets.size();
  uint64_t limit = input->size < *budget ? input->size : *budget;
  uint64_t claimed = 0;
  for (size_t i = 0; i < n; ++i) {
    if (counts[i] > limit - claimed) return 0;
    claimed += counts[i];
  }
  *budget -= claimed;
  // Chunks that follow each other directly in the input travel in one piece: a page of many small
  // strips costs a few reads and writes, not one per strip.
  size_t i = 0;
  while (i < n) {
    if (counts[i] == 0) {
      offsets[i++] = 0;
      continue;
    }
    uint64_t from = offsets[i];
    uint64_t size = counts[i];
    size_t end = i + 1;
    while (end < n && counts[end] > 0 && offsets[end] == from + size) size += counts[end++];
    uint64_t at = out->end;
    if (!AppendFromInput(out, input, from, size)) return 0;
    for (; i < end; ++i) {
      offsets[i] = at;
      at += counts[i];
    }
  }
  return 1;
}
