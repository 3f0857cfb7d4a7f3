// The page copier: one directory of an open input TIFF file, its tags and its raw strip or tile
// data, into a freshly created output TIFF file. No pixel is decoded.
#ifndef FOLICANT_PAGECOPY_PAGE_COPY_H_
#define FOLICANT_PAGECOPY_PAGE_COPY_H_

#include <tiffio.h>

/// Copies the current directory of `input` into `output` and writes it: the EXIF, GPS and
/// Interoperability directories it links to first, then its tags (the copier's table first, then
/// every other tag) and every strip or tile raw, in index order, each with its stored byte count,
/// then its SubIFDs, each with its tags and raw chunks. Returns 1 when all was written, 0 when
/// any part failed (what was written before the failure stays in the file). The caller's flush
/// and close then write nothing more.
int CopyPage(TIFF* input, TIFF* output);

#endif  // FOLICANT_PAGECOPY_PAGE_COPY_H_
