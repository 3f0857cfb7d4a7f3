// The page's tags: what describes the image, carried from the input directory to the output.
#ifndef FOLICANT_PAGECOPY_TAG_COPY_H_
#define FOLICANT_PAGECOPY_TAG_COPY_H_

#include <tiffio.h>

#include <vector>

#include "pagecopy/directory_entries.h"

/// Sets on `output` the carried tags that the current directory of `input` has, in the order the
/// output needs them. A value the output refuses is left out; tag copying never fails on its own.
void CopyTags(TIFF* input, TIFF* output);

/// Sets on `output` every other tag of the current directory of `input`, whose stored entries
/// are `entries`, with the same value: tags libtiff defines through their definition (it may
/// write a public tag in another unsigned type with the same values), tags it does not define
/// with their stored type and count. Leaves out the tags that say where the input's bytes lie
/// (image data, free space, linked directories, old-style JPEG data), which the copy places
/// anew, and any value the output refuses; never fails on its own.
void CopyOtherTags(TIFF* input, TIFF* output, const std::vector<DirectoryEntry>& entries);

/// After the page's directory was written at `writtenAt` in `output`: gives back their stored
/// type and count to the blocks of bytes that libtiff defines as UNDEFINED or BYTE but the page
/// stored in a wider type (IPTC as LONG), whose bytes CopyOtherTags carried unchanged. The
/// values stay where they are; a block whose entry does not match is left as written.
void RestoreStoredBlockTypes(TIFF* output, uint64_t writtenAt,
                             const std::vector<DirectoryEntry>& entries);

/// Defines on `output` the tags of the `count` entries at `entries`, each with the entry's stored
/// type and any count, its value passed as a count and a pointer, so that the output writes it as
/// stored. A tag the output defines already keeps its definition. 1 on success; 0 when the output
/// refuses the definitions.
int DefineAsStored(TIFF* output, const DirectoryEntry* entries, uint32_t count);

#endif  // FOLICANT_PAGECOPY_TAG_COPY_H_
