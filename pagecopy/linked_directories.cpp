#include "pagecopy/linked_directories.h"

#include <cstdio>

namespace {

// The file belongs to the split's own handle, which closes it.
int KeepFileOpen(thandle_t) {
  return 0;
}

}  // namespace

TIFF* OpenLinkedReader(TIFF* input) {
  // libtiff reads the header from wherever the file stands.
  if (TIFFGetSeekProc(input)(TIFFClientdata(input), 0, SEEK_SET) != 0) return nullptr;
  // "h": the header only, the directories are read as they are needed; "c": every strip as
  // stored; "m": plain reads, as the split's own handle does them.
  return TIFFClientOpen(TIFFFileName(input), "rmhc", TIFFClientdata(input), TIFFGetReadProc(input),
                        TIFFGetWriteProc(input), TIFFGetSeekProc(input), KeepFileOpen,
                        TIFFGetSizeProc(input), TIFFGetMapFileProc(input),
                        TIFFGetUnmapFileProc(input));
}
