// The page copier: one directory of an open input TIFF file, its tags and its raw strip or tile
// data, into a freshly created output TIFF file. No pixel is decoded.
#ifndef FOLICANT_PAGECOPY_PAGE_COPY_H_
#define FOLICANT_PAGECOPY_PAGE_COPY_H_

#include <tiffio.h>

/// Copies the current directory of `input` into `output`: the tags first, then every strip or
/// tile raw, in index order, each with its stored byte count. Returns 1 when all data was copied,
/// 0 when the data copy failed (the strips or tiles before the failure stay written).
int CopyPage(TIFF* input, TIFF* output);

#endif  // FOLICANT_PAGECOPY_PAGE_COPY_H_
