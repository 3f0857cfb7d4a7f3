#include "pagecopy/entry_plan.h"

#include <tiffio.h>

#include <algorithm>

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

// Of two tags a reader takes into one place, the one whose first entry comes last; 0 for none.
uint16_t TakenOf(const std::vector<DirectoryEntry>& stored, uint16_t a, uint16_t b) {
  size_t firstA = stored.size(), firstB = stored.size();
  for (size_t i = stored.size(); i-- > 0;) {
    if (stored[i].tag == a) firstA = i;
    if (stored[i].tag == b) firstB = i;
  }
  if (firstA == stored.size() && firstB == stored.size()) return 0;
  if (firstA == stored.size()) return b;
  if (firstB == stored.size()) return a;
  return firstA > firstB ? a : b;
}

EntryRole ImageRole(uint16_t tag, uint16_t type, uint16_t offsetsTag, uint16_t countsTag) {
  if (tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS)
    return tag == offsetsTag ? kChunkOffsets : kForbidden;
  if (tag == countsTag) return kChunkByteCounts;
  if (tag == TIFFTAG_FREEOFFSETS || tag == TIFFTAG_FREEBYTECOUNTS) return kDropped;
  if (tag == TIFFTAG_JPEGIFOFFSET || tag == TIFFTAG_JPEGQTABLES || tag == TIFFTAG_JPEGDCTABLES ||
      tag == TIFFTAG_JPEGACTABLES) {
    return IsOffsetType(type) ? kOldJpegBlock : kForbidden;
  }
  return kCarried;
}

}  // namespace

void AssignRoles(const InputFile& input, DirectoryKind kind,
                 const std::vector<DirectoryEntry>& stored, std::vector<EntryRole>* roles) {
  uint16_t offsetsTag = 0, countsTag = 0;
  if (kind == kImageDirectory) {
    offsetsTag = TakenOf(stored, TIFFTAG_STRIPOFFSETS, TIFFTAG_TILEOFFSETS);
    countsTag = TakenOf(stored, TIFFTAG_STRIPBYTECOUNTS, TIFFTAG_TILEBYTECOUNTS);
  }
  roles->resize(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    const DirectoryEntry& entry = stored[i];
    EntryRole role = kCarried;
    if (kind == kImageDirectory) role = ImageRole(entry.tag, entry.type, offsetsTag, countsTag);
    if (role == kCarried && IsLinkTag(kind, entry.tag))
      role = IsOffsetType(entry.type) ? kLink : kForbidden;
    // An offset in a tag not known to hold one would point into the input.
    if (role == kCarried && (TypeSize(entry.type) == 0 || !ValuesInsideInput(input, entry) ||
                             entry.type == TIFF_IFD || entry.type == TIFF_IFD8)) {
      role = kForbidden;
    }
    (*roles)[i] = role;
  }
}

const char* ForbiddenReason(const InputFile& input, const DirectoryEntry& entry) {
  if (TypeSize(entry.type) == 0) return "a type TIFF does not define";
  if (!ValuesInsideInput(input, entry)) return "its values lie outside the file";
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

uint16_t TypeHolding(int bigTiff, uint16_t storedType, uint64_t largest) {
  if (IsUnsignedType(storedType) &&
      (TypeSize(storedType) == 8 || largest >> (8 * TypeSize(storedType)) == 0)) {
    return storedType;
  }
  if (largest <= 0xFFFFFFFFu) return storedType == TIFF_IFD ? TIFF_IFD : TIFF_LONG;
  if (!bigTiff) return 0;
  return storedType == TIFF_IFD ? TIFF_IFD8 : TIFF_LONG8;
}

int AddByteCounts(int bigTiff, const std::vector<uint64_t>& counts, uint16_t offsetsTag,
                  std::vector<OutputEntry>* entries) {
  OutputEntry added = OutputEntry();
  added.stored.tag =
      offsetsTag == TIFFTAG_TILEOFFSETS ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
  added.stored.type = TIFF_LONG;
  added.role = kChunkByteCounts;
  added.numbers = &counts;
  uint64_t largest = 0;
  for (uint64_t count : counts) largest = std::max(largest, count);
  added.type = TypeHolding(bigTiff, TIFF_LONG, largest);
  size_t at = 0;
  while (at < entries->size() && (*entries)[at].stored.tag < added.stored.tag) ++at;
  entries->insert(entries->begin() + static_cast<std::ptrdiff_t>(at), added);
  return added.type != 0;
}
