#include "pagecopy/chunk_copy.h"

int CopyChunks(TIFF* source, OutputFile* out, uint64_t* budget, std::vector<uint64_t>* offsets,
               std::vector<uint64_t>* counts) {
  uint32_t chunks = TIFFIsTiled(source) ? TIFFNumberOfTiles(source) : TIFFNumberOfStrips(source);
  offsets->assign(chunks, 0);
  counts->assign(chunks, 0);
  // Where each chunk lies in the input, as libtiff holds the directory. An array shorter than the
  // page's chunk count has no entry for the rest.
  std::vector<uint64_t>& stored = *offsets;
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(source)(TIFFClientdata(source)));
  uint64_t limit = fileSize < *budget ? fileSize : *budget;
  uint64_t claimed = 0;
  for (uint32_t i = 0; i < chunks; ++i) {
    int error = 0;
    stored[i] = TIFFGetStrileOffsetWithErr(source, i, &error);
    if (!error) (*counts)[i] = TIFFGetStrileByteCountWithErr(source, i, &error);
    if (error || (*counts)[i] > limit - claimed) return 0;
    claimed += (*counts)[i];
  }
  *budget -= claimed;
  // Chunks that follow each other directly in the input travel in one piece: a page of many small
  // strips costs a few reads and writes, not one per strip.
  uint32_t i = 0;
  while (i < chunks) {
    if ((*counts)[i] == 0) {
      stored[i++] = 0;
      continue;
    }
    uint64_t from = stored[i];
    uint64_t size = (*counts)[i];
    uint32_t end = i + 1;
    while (end < chunks && (*counts)[end] > 0 && stored[end] == from + size)
      size += (*counts)[end++];
    uint64_t at = out->end;
    if (!AppendFromInput(out, source, from, size)) return 0;
    for (; i < end; ++i) {
      stored[i] = at;
      at += (*counts)[i];
    }
  }
  return 1;
}
