// libtiff warns about every tag it does not define, in every directory it reads: once per page of
// a split. Those tags are carried like any other now, so one warning per tag is enough.
#ifndef FOLICANT_PAGECOPY_TAG_WARNINGS_H_
#define FOLICANT_PAGECOPY_TAG_WARNINGS_H_

#include <tiffio.h>

#include <vector>

#include "pagecopy/directory_entries.h"

/// On its first call, puts a warning handler in front of libtiff's current one that passes on
/// every warning except a repeat of "Unknown field with tag N" for a tag N already reported in
/// this process. Every call records the tags of `entries` that `input` holds as fields it does
/// not define as reported: libtiff warned about them when it read the directory.
void QuietRepeatedTagWarnings(TIFF* input, const std::vector<DirectoryEntry>& entries);

#endif  // FOLICANT_PAGECOPY_TAG_WARNINGS_H_
