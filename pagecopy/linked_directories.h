// The image directories a page links to (SubIFDs: reduced resolutions, thumbnails, masks) are read
// by libtiff, which knows where their strips or tiles lie, through a second handle over the
// input's open file, so that the handle the split walks keeps its current directory and its own
// record of the directories it has seen.
#ifndef FOLICANT_PAGECOPY_LINKED_DIRECTORIES_H_
#define FOLICANT_PAGECOPY_LINKED_DIRECTORIES_H_

#include <tiffio.h>

/// A read handle over the file of `input` through the same client I/O, without a directory
/// read, memory mapping or strip chopping; closing it leaves the file open. NULL on failure.
TIFF* OpenLinkedReader(TIFF* input);

#endif  // FOLICANT_PAGECOPY_LINKED_DIRECTORIES_H_
