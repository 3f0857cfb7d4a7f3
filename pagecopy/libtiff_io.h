// libtiff's reads of the input and of an output page, through the copier's own readers: the
// input's read window, the output's read-back window. libtiff reads; it never writes a file.
#ifndef FOLICANT_PAGECOPY_LIBTIFF_IO_H_
#define FOLICANT_PAGECOPY_LIBTIFF_IO_H_

#include <tiffio.h>

#include "pagecopy/input_file.h"
#include "pagecopy/output_file.h"

/// A libtiff handle that reads `input` (which must outlive it) with its header read and no
/// directory yet (TIFFSetSubDirectory reads one), without memory mapping or strip chopping.
/// NULL when libtiff refuses the file.
TIFF* OpenLibtiffOnInput(InputFile* input);

/// A libtiff handle that reads the output page of `out` (flushed), its first directory read, with
/// libtiff's messages held back while it opens. NULL when libtiff cannot read the page.
TIFF* OpenLibtiffOnOutput(OutputFile* out);

/// Closes a handle from either; the file stays open.
void CloseLibtiff(TIFF* tiff);

#endif  // FOLICANT_PAGECOPY_LIBTIFF_IO_H_
