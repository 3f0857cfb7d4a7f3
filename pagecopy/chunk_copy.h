// The page's image data: every strip or tile copied raw, still compressed.
#ifndef FOLICANT_PAGECOPY_CHUNK_COPY_H_
#define FOLICANT_PAGECOPY_CHUNK_COPY_H_

#include <tiffio.h>

/// Raw copy of every strip; 1 on success, 0 on failure.
int CopyStripData(TIFF* input, TIFF* output);

/// Raw copy of every tile; 1 on success, 0 on failure.
int CopyTileData(TIFF* input, TIFF* output);

/// Writes the current directory of `output` as TIFFWriteDirectory does, after its strips or tiles
/// were copied by the functions above, also when a stored byte count exceeds the 16-bit type that
/// libtiff picks for the page's counts from its decoded chunk size. 1 on success, 0 on failure.
int WriteCopiedDirectory(TIFF* output);

#endif  // FOLICANT_PAGECOPY_CHUNK_COPY_H_
