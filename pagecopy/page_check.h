// Reading a page back from the output before it counts: the header and every directory compared
// with what was planned, byte for byte, and libtiff's view of the output page compared with its
// view of the input page (with the input about to be removed, each chunk libtiff reads elsewhere
// than the copier placed it too; the copied bytes themselves are read back as they are written).
#ifndef FOLICANT_PAGECOPY_PAGE_CHECK_H_
#define FOLICANT_PAGECOPY_PAGE_CHECK_H_

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "pagecopy/entry_plan.h"
#include "pagecopy/input_file.h"
#include "pagecopy/output_file.h"

/// Whether the header of `out` (flushed) reads back as written, pointing at `first`.
int HeaderReadsBack(OutputFile* out, uint64_t first);

/// Reads back the directory written at `writtenAt` and compares it with `entries`: the same number
/// of entries, each with the same tag, type and count, the stored value bytes where they were
/// placed and as they are in `input` (or as they were written from it, while `out` still holds
/// them), or the new numbers; every strip or tile placed inside the file; and `next` as the next
/// directory. Returns 1 when all match, 0 otherwise.
int CheckDirectory(InputFile* input, OutputFile* out, uint64_t writtenAt, uint64_t next,
                   const std::vector<OutputEntry>& entries);

/// What a reader needs to show a page, as libtiff sees it, without decoding: image size, bits and
/// samples per pixel, sample format, compression, photometric, planar layout, tiling and tile
/// size, the number of chunks, each chunk's size and whether its bytes lie inside the file (as a
/// digest), the number of SubIFDs.
struct ReaderView {
  uint64_t numbers[16];
  std::vector<uint64_t> chunks;  // when kept: index, offset and count of each chunk not at 0
};

/// libtiff's view of the directory `tiff` holds, in a file of `fileSize` bytes; with `keepChunks`
/// where each chunk lies.
void ViewOf(TIFF* tiff, uint64_t fileSize, int keepChunks, ReaderView* view);

/// Opens the output page through libtiff, without decoding and without its messages (they would
/// repeat the input's), and tells whether it looks as the input page did (`view`, its chunks
/// kept when `compareBytes`). With `compareBytes`, each chunk libtiff reads in the input but
/// elsewhere than the copied chunk of its number (`copiedFrom` and `counts`, where the copier
/// took them from) must read back with the same bytes from where libtiff finds it in the output.
/// 1 when all is the same.
int OutputLooksLike(InputFile* input, OutputFile* out, const ReaderView& view, int compareBytes,
                    const std::vector<uint64_t>& copiedFrom, const std::vector<uint64_t>& counts);

#endif  // FOLICANT_PAGECOPY_PAGE_CHECK_H_
