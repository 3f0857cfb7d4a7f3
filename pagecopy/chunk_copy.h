// The page's image data: every strip or tile copied raw, still compressed.
#ifndef FOLICANT_PAGECOPY_CHUNK_COPY_H_
#define FOLICANT_PAGECOPY_CHUNK_COPY_H_

#include <tiffio.h>

/// Copies every strip of the current directory of `input`, as stored, into the current directory
/// of `output`: strip i keeps its index and its bytes, read from its stored offset through the
/// input's I/O in pieces of at most 1 MiB (one fixed buffer, whatever the strip size); an empty
/// strip stays empty. 0 when the strips claim more bytes than the input file holds (overlapping or
/// lying counts), when the file does not hold a strip's bytes, or when a write fails; 1 otherwise.
int CopyStripData(TIFF* input, TIFF* output);

/// The same for every tile.
int CopyTileData(TIFF* input, TIFF* output);

/// Writes the current directory of `output` as TIFFWriteDirectory does, after its strips or tiles
/// were copied by the functions above, also when a stored byte count exceeds the 16-bit type that
/// libtiff picks for the page's counts from its decoded chunk size. 1 on success, 0 on failure.
int WriteCopiedDirectory(TIFF* output);

#endif  // FOLICANT_PAGECOPY_CHUNK_COPY_H_
