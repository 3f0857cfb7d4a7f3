#include "pagecopy/entry_roles.h"

namespace {

int IsLinkTag(DirectoryKind kind, uint16_t tag) {
  switch (kind) {
    case kImageDirectory:
      return tag == TIFFTAG_SUBIFD || tag == TIFFTAG_EXIFIFD || tag == TIFFTAG_GPSIFD ||
             tag == TIFFTAG_INTEROPERABILITYIFD;
    case kExifDirectory:
      return tag == TIFFTAG_INTEROPERABILITYIFD;
    default:
      // GPS and Interoperability tags are numbered from 0 and mean something else.
      return 0;
  }
}

int IsOffsetType(uint16_t type) {
  return type == TIFF_SHORT || type == TIFF_LONG || type == TIFF_IFD || type == TIFF_LONG8 ||
         type == TIFF_IFD8;
}

int IsWideType(uint16_t type) {
  return type == TIFF_LONG8 || type == TIFF_SLONG8 || type == TIFF_IFD8;
}

// Whether the values of `entry` lie inside the file whole, so that they can be read.
int ValuesInsideFile(TIFF* input, const DirectoryEntry& entry) {
  if (entry.inField) return 1;
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  uint64_t size = TypeSize(entry.type);
  return entry.count <= fileSize / size && entry.valueAt <= fileSize &&
         entry.count * size <= fileSize - entry.valueAt;
}

}  // namespace

EntryRole RoleOf(TIFF* input, DirectoryKind kind, int tiled, const DirectoryEntry& entry) {
  uint16_t tag = entry.tag;
  if (kind == kImageDirectory) {
    // The chunks' places and counts come from the copy, whatever the stored values.
    if (tag == (tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS)) return kChunkOffsets;
    if (tag == (tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS)) return kChunkByteCounts;
    // The other layout's offsets point at bytes that are not copied.
    if (tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS) return kForbidden;
    if (tag == TIFFTAG_FREEOFFSETS || tag == TIFFTAG_FREEBYTECOUNTS) return kDropped;
    if (tag == TIFFTAG_JPEGIFOFFSET || tag == TIFFTAG_JPEGQTABLES || tag == TIFFTAG_JPEGDCTABLES ||
        tag == TIFFTAG_JPEGACTABLES) {
      return IsOffsetType(entry.type) ? kOldJpegBlock : kForbidden;
    }
  }
  if (IsLinkTag(kind, tag)) return IsOffsetType(entry.type) ? kLink : kForbidden;
  if (TypeSize(entry.type) == 0 || !ValuesInsideFile(input, entry)) return kForbidden;
  // An offset in a tag not known to hold one would point into the input; a classic file cannot
  // hold 64-bit values.
  if (entry.type == TIFF_IFD || entry.type == TIFF_IFD8) return kForbidden;
  if (IsWideType(entry.type) && !TIFFIsBigTIFF(input)) return kForbidden;
  return kCarried;
}

const char* ForbiddenReason(TIFF* input, const DirectoryEntry& entry) {
  if (TypeSize(entry.type) == 0) return "a type TIFF does not define";
  if (!ValuesInsideFile(input, entry)) return "its values lie outside the file";
  if (IsWideType(entry.type) && !TIFFIsBigTIFF(input))
    return "64-bit values in a classic TIFF file";
  return "an offset into the input file";
}

DirectoryKind LinkedKind(uint16_t tag) {
  switch (tag) {
    case TIFFTAG_EXIFIFD:
      return kExifDirectory;
    case TIFFTAG_GPSIFD:
      return kGpsDirectory;
    case TIFFTAG_INTEROPERABILITYIFD:
      return kInteropDirectory;
    default:
      return kImageDirectory;
  }
}
