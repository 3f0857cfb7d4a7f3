// The page copier: one directory of an open input TIFF file, with every directory it links to and
// its raw strip or tile data, into a freshly created output TIFF file. No pixel is decoded.
#ifndef FOLICANT_PAGECOPY_PAGE_COPY_H_
#define FOLICANT_PAGECOPY_PAGE_COPY_H_

#include <tiffio.h>

#include "pagecopy/output_file.h"

/// Copies the current directory of `input` (a handle reading its strips as stored, without
/// chopping) into `output`, a new, empty file, and makes it that file's one page, in the input's
/// byte order and format: every strip or tile raw, each with its stored count; the directories it
/// links to (EXIF with its Interoperability directory, GPS, SubIFDs with theirs); and each
/// directory written from its stored entries, every entry with its stored type, count and value
/// bytes, but for the entries that locate bytes of the file, which take the new places of those
/// bytes, and the few the output cannot hold. Everything written is then read back and compared
/// with the input. Returns 1 when the page was written and reads back as it should, 0 otherwise
/// (what was written stays in the file, which then has no page).
int CopyPage(TIFF* input, const PageFile& output);

#endif  // FOLICANT_PAGECOPY_PAGE_COPY_H_
