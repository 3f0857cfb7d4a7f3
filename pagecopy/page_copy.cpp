#include "pagecopy/page_copy.h"

#include "pagecopy/chunk_copy.h"
#include "pagecopy/tag_copy.h"

int CopyPage(TIFF* input, TIFF* output) {
  CopyTags(input, output);
  return TIFFIsTiled(input) ? CopyTileData(input, output) : CopyStripData(input, output);
}
