#include "pagecopy/linked_directories.h"

#include <cstdio>

#include "pagecopy/tag_copy.h"

namespace {

// The file belongs to the split's own handle, which closes it.
int KeepFileOpen(thandle_t) {
  return 0;
}

// Sets a pointer tag to `offset`: through libtiff's definition where the directory has one,
// otherwise under one registered with the stored type.
int SetPointerTag(TIFF* output, uint16_t tag, uint16_t storedType, uint64_t offset) {
  const TIFFField* field = TIFFFindField(output, tag, TIFF_ANY);
  if (field == nullptr) {
    int wide = storedType == TIFF_LONG8 || storedType == TIFF_IFD8;
    if (!wide && storedType != TIFF_LONG && storedType != TIFF_IFD) return 0;
    static char name[] = "LinkedDirectory";
    TIFFFieldInfo info = {tag,          1, 1, static_cast<TIFFDataType>(storedType),
                          FIELD_CUSTOM, 1, 0, name};
    if (TIFFMergeFieldInfo(output, &info, 1) != 0) return 0;
    field = TIFFFindField(output, tag, TIFF_ANY);
    if (field == nullptr) return 0;
  }
  if (TIFFFieldSetGetSize(field) == 8) return TIFFSetField(output, tag, offset);
  return offset <= 0xFFFFFFFFu && TIFFSetField(output, tag, static_cast<uint32_t>(offset));
}

int PointerOf(TIFF* reader, const std::vector<DirectoryEntry>& entries, uint16_t tag,
              uint64_t* offset, const DirectoryEntry** entry) {
  *offset = 0;
  *entry = FindEntry(entries, tag);
  return *entry == nullptr || (ReadEntryNumbers(reader, **entry, offset, 1) && *offset != 0);
}

// Reads one custom directory on the reader and writes it whole as a custom directory of the
// output; `pointerTag` (0: none) is set to `pointer` in it.
int CopyCustomDirectory(TIFF* reader, TIFF* output, uint64_t offset, int gps, uint16_t pointerTag,
                        uint16_t pointerType, uint64_t pointer, uint64_t* written) {
  std::vector<DirectoryEntry> entries;
  if (!(gps ? TIFFReadGPSDirectory(reader, offset) : TIFFReadEXIFDirectory(reader, offset)) ||
      !ReadDirectoryEntries(reader, offset, &entries)) {
    return 0;
  }
  TIFFFreeDirectory(output);
  if (gps) {
    TIFFCreateGPSDirectory(output);
  } else {
    TIFFCreateEXIFDirectory(output);
  }
  CopyOtherTags(reader, output, entries);
  if (pointerTag != 0 && !SetPointerTag(output, pointerTag, pointerType, pointer)) return 0;
  return TIFFWriteCustomDirectory(output, written);
}

}  // namespace

TIFF* OpenLinkedReader(TIFF* input) {
  // libtiff reads the header from wherever the file stands.
  if (TIFFGetSeekProc(input)(TIFFClientdata(input), 0, SEEK_SET) != 0) return nullptr;
  // "h": the header only, the directories are read as they are needed; "c": every strip as
  // stored; "m": plain reads, as the split's own handle does them.
  TIFF* reader = TIFFClientOpen(TIFFFileName(input), "rmhc", TIFFClientdata(input),
                                TIFFGetReadProc(input), TIFFGetWriteProc(input),
                                TIFFGetSeekProc(input), KeepFileOpen, TIFFGetSizeProc(input),
                                TIFFGetMapFileProc(input), TIFFGetUnmapFileProc(input));
  // A handle that has read no directory has no tag methods yet, which reading a custom
  // directory needs: a fresh empty directory sets them up.
  if (reader != nullptr) TIFFCreateDirectory(reader);
  return reader;
}

int CopyExifAndGps(TIFF* reader, TIFF* output, const std::vector<DirectoryEntry>& entries,
                   uint64_t* exifOffset, uint64_t* gpsOffset) {
  *exifOffset = 0;
  *gpsOffset = 0;
  uint64_t exif = 0, gps = 0;
  const DirectoryEntry* exifEntry = nullptr;
  const DirectoryEntry* gpsEntry = nullptr;
  if (!PointerOf(reader, entries, TIFFTAG_EXIFIFD, &exif, &exifEntry) ||
      !PointerOf(reader, entries, TIFFTAG_GPSIFD, &gps, &gpsEntry)) {
    return 0;
  }
  if (exif == 0 && gps == 0) return 1;
  if (exif != 0) {
    // The Interoperability directory goes first: the EXIF directory holds its offset. It has
    // no definitions of its own in libtiff; read as an EXIF directory, its tags are carried as
    // tags the library does not define. Its pointer comes from the stored entries; libtiff
    // reads the EXIF directory when it is copied.
    std::vector<DirectoryEntry> exifEntries;
    uint64_t interop = 0, interopWritten = 0;
    const DirectoryEntry* interopEntry = nullptr;
    if (!ReadDirectoryEntries(reader, exif, &exifEntries) ||
        !PointerOf(reader, exifEntries, TIFFTAG_INTEROPERABILITYIFD, &interop, &interopEntry)) {
      return 0;
    }
    if (interop != 0 &&
        !CopyCustomDirectory(reader, output, interop, 0, 0, 0, 0, &interopWritten)) {
      return 0;
    }
    if (!CopyCustomDirectory(reader, output, exif, 0, interop ? TIFFTAG_INTEROPERABILITYIFD : 0,
                             interop ? interopEntry->type : 0, interopWritten, exifOffset)) {
      return 0;
    }
  }
  if (gps != 0 && !CopyCustomDirectory(reader, output, gps, 1, 0, 0, 0, gpsOffset)) return 0;
  TIFFFreeDirectory(output);
  TIFFCreateDirectory(output);
  return 1;
}

int ReadSubIfdOffsets(TIFF* reader, const std::vector<DirectoryEntry>& entries,
                      std::vector<uint64_t>* offsets) {
  offsets->clear();
  const DirectoryEntry* entry = FindEntry(entries, TIFFTAG_SUBIFD);
  // libtiff holds the SubIFD count in 16 bits.
  if (entry == nullptr) return 1;
  if (entry->count == 0 || entry->count > 0xFFFF) return 0;
  offsets->resize(entry->count);
  return ReadEntryNumbers(reader, *entry, offsets->data(), static_cast<uint32_t>(entry->count));
}

int ReadLinkedImageDirectory(TIFF* reader, uint64_t offset, std::vector<DirectoryEntry>* entries) {
  return TIFFSetSubDirectory(reader, offset) && ReadDirectoryEntries(reader, offset, entries);
}
