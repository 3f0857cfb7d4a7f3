// The tags libtiff does not define. The copier carries them as stored, but libtiff meets them in
// every directory it reads: it warns about each, and defines each anew for every directory with a
// re-sort of its whole table of tags, which costs more than the rest of the page. Once met, such a
// tag is defined ahead on every handle that reads, and warned about once.
#ifndef FOLICANT_PAGECOPY_UNKNOWN_TAGS_H_
#define FOLICANT_PAGECOPY_UNKNOWN_TAGS_H_

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pagecopy/directory_read.h"

/// Records the tags of `entries` that `reader` (which just read the directory) does not define.
/// On its first call (or SkipCompressionSchemes's), puts in front of libtiff's warning and error
/// handlers ones that pass on every message except a repeat about a tag that libtiff names by its
/// number ("Unknown field with tag 65000", "Tag 65000"), which it would repeat for every page, and
/// installs a tag extender that defines every recorded tag, in its first stored type, on each
/// handle opened for reading as it sets up a directory: libtiff then reads such a tag as a known
/// one. Tags of types libtiff refuses to read quietly (offsets, 64-bit values) are not recorded,
/// and unless SkipCompressionSchemes was called, neither are the tags that libtiff defines for
/// some compression scheme, so that a scheme's definition of its own tags always stands.
void NoteUnknownTags(TIFF* reader, const std::vector<DirectoryEntry>& entries);

/// Makes libtiff read the pages of every compression scheme it knows without setting up the
/// scheme's codec, for this process: the copier never decodes, and a codec costs more to set up
/// for every directory read than the rest of the directory (a re-sort of the table of tags for
/// each table it adds; JPEG codecs even read the first strip). The scheme's own tags (Predictor,
/// the fax options, JPEGTables, ...) are then tags libtiff does not define, recorded and defined
/// ahead like any other. Nothing can be decoded in this process afterwards.
void SkipCompressionSchemes();

/// Warns through libtiff's warning handler, the first time in this process for `tag`, that the
/// tag was left out of the split pages of the file `name`, and why.
void WarnLeftOut(const char* name, uint16_t tag, const char* reason);

/// Warns through libtiff's warning handler about the file `name`, the first time in this process
/// that `text` is said.
void WarnOnce(const char* name, const std::string& text);

/// While `holdBack` is set, libtiff's warnings and errors are dropped: they come from reading
/// back an output, and would repeat what the input's reading said.
void HoldBackLibtiffMessages(int holdBack);

#endif  // FOLICANT_PAGECOPY_UNKNOWN_TAGS_H_
