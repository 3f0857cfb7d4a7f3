// The page's image data: every strip or tile copied raw, still compressed.
#ifndef FOLICANT_PAGECOPY_CHUNK_COPY_H_
#define FOLICANT_PAGECOPY_CHUNK_COPY_H_

#include <tiffio.h>

/// Raw copy of every strip; 1 on success, 0 on failure.
int CopyStripData(TIFF* input, TIFF* output);

/// Raw copy of every tile; 1 on success, 0 on failure.
int CopyTileData(TIFF* input, TIFF* output);

#endif  // FOLICANT_PAGECOPY_CHUNK_COPY_H_
