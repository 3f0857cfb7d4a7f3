// The page copier: one directory of the input, with every directory it links to and its raw strip
// or tile data, into a freshly created output file. No pixel is decoded.
#ifndef FOLICANT_PAGECOPY_PAGE_COPY_H_
#define FOLICANT_PAGECOPY_PAGE_COPY_H_

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "pagecopy/directory_read.h"
#include "pagecopy/entry_plan.h"
#include "pagecopy/input_file.h"
#include "pagecopy/output_file.h"

/// The input a page is copied from: the file, and libtiff's reader of the same file (NULL when
/// libtiff cannot read it), which works out what a page does not store and gives a second opinion.
struct PageInput {
  InputFile* file;
  TIFF* libtiff;
};

/// Copies the directory `page`, stored at `pageAt` of the input, into `output`, a new, empty file,
/// and makes it that file's one page, in the input's byte order and format: every strip or tile
/// raw as its stored entries place it, each with its stored count; the directories it links to
/// (EXIF with its Interoperability directory, GPS, SubIFDs), each with the directories chained
/// after it; and each directory written from its stored entries, every entry with its stored
/// type, count and value bytes, but for the entries that locate bytes of the file, which take the
/// new places of those bytes, and the few the output cannot hold. Whether libtiff can read the
/// page does not matter. Everything written is then read back and compared with the input; where
/// libtiff reads the input page, it must read the output page the same (it reads the output
/// wherever the copy changed an entry libtiff reads); with `checkChunkBytes`,
/// every write is read back at once and compared with the bytes meant for it (each chunk with the
/// input's), and so is each chunk libtiff reads elsewhere. Returns 1 when the page was
/// written and reads back as it should, 0 otherwise (what was written stays in the file, which
/// then has no page).
int CopyPage(PageInput* input, uint64_t pageAt, const StoredDirectory& page, const PageFile& output,
             int checkChunkBytes);

/// For tests only: when set, called with the planned entries of the page's own directory before
/// they are written, to make the output differ from the input behind the copier's back.
extern void (*alterPageForTests)(std::vector<OutputEntry>* entries);

#endif  // FOLICANT_PAGECOPY_PAGE_COPY_H_
