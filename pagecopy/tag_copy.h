// The page's tags: what describes the image, carried from the input directory to the output.
#ifndef FOLICANT_PAGECOPY_TAG_COPY_H_
#define FOLICANT_PAGECOPY_TAG_COPY_H_

#include <tiffio.h>

/// Sets on `output` the carried tags that the current directory of `input` has, in the order the
/// output needs them. A value the output refuses is left out; tag copying never fails on its own.
void CopyTags(TIFF* input, TIFF* output);

#endif  // FOLICANT_PAGECOPY_TAG_COPY_H_
