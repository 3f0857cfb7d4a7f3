#include "pagecopy/unknown_tags.h"

#include <fcntl.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const char kUnknownTag[] = "Unknown field with tag ";

TIFFErrorHandler nextHandler = nullptr;
TIFFExtendProc nextExtender = nullptr;
int installed = 0;
int schemesSkipped = 0;
uint8_t reported[65536 / 8];
uint8_t leftOut[65536 / 8];
uint8_t recorded[65536 / 8];

// The definitions the extender installs, as libtiff makes them for a tag it meets unannounced:
// any count, passed with the values, in the stored type. Their names live as long as the process.
std::vector<TIFFFieldInfo> definitions;
char names[65536][10];

int IsSet(const uint8_t* bits, unsigned tag) {
  return bits[tag >> 3] & (1u << (tag & 7));
}
void Set(uint8_t* bits, unsigned tag) {
  bits[tag >> 3] |= static_cast<uint8_t>(1u << (tag & 7));
}

// The tags libtiff defines only while a compression scheme that uses them is set: recorded ahead,
// they would take the place of the scheme's own definitions.
int IsSchemeTag(uint16_t tag) {
  switch (tag) {
    case TIFFTAG_PREDICTOR:
    case TIFFTAG_JPEGTABLES:
    case TIFFTAG_GROUP3OPTIONS:
    case TIFFTAG_GROUP4OPTIONS:
    case TIFFTAG_BADFAXLINES:
    case TIFFTAG_CLEANFAXDATA:
    case TIFFTAG_CONSECUTIVEBADFAXLINES:
    case TIFFTAG_LERC_PARAMETERS:
      return 1;
    default:
      return tag >= TIFFTAG_JPEGPROC && tag <= TIFFTAG_JPEGACTABLES;
  }
}

void WarnOncePerTag(const char* module, const char* format, va_list arguments) {
  if (format != nullptr && strncmp(format, kUnknownTag, sizeof kUnknownTag - 1) == 0) {
    // The tag is the message's first argument, a uint16_t promoted to int.
    va_list copy;
    va_copy(copy, arguments);
    unsigned tag = static_cast<unsigned>(va_arg(copy, int)) & 0xFFFF;
    va_end(copy);
    // A scheme's own tag is no surprise when the schemes are skipped on purpose.
    if (IsSet(reported, tag) || (schemesSkipped && IsSchemeTag(static_cast<uint16_t>(tag)))) {
      return;
    }
    Set(reported, tag);
  }
  if (nextHandler != nullptr) nextHandler(module, format, arguments);
}

// Runs as each handle sets up a fresh directory, before its compression scheme adds the tags of
// its own. Handles that write define nothing: the copier sets no tag through libtiff.
void DefineRecordedTags(TIFF* tiff) {
  if (TIFFGetMode(tiff) == O_RDONLY && !definitions.empty()) {
    TIFFMergeFieldInfo(tiff, definitions.data(), static_cast<uint32_t>(definitions.size()));
  }
  if (nextExtender != nullptr) nextExtender(tiff);
}

void Install() {
  if (installed) return;
  installed = 1;
  nextHandler = TIFFSetWarningHandler(WarnOncePerTag);
  nextExtender = TIFFSetTagExtender(DefineRecordedTags);
}

// A codec that sets up nothing: the directory's values are read, its data never decoded.
int SetUpNothing(TIFF*, int) {
  return 1;
}

}  // namespace

void SkipCompressionSchemes() {
  Install();
  if (schemesSkipped) return;
  schemesSkipped = 1;
  TIFFCodec* codecs = TIFFGetConfiguredCODECs();
  for (TIFFCodec* codec = codecs; codec != nullptr && codec->name != nullptr; ++codec) {
    if (codec->scheme != COMPRESSION_NONE)
      TIFFRegisterCODEC(codec->scheme, codec->name, SetUpNothing);
  }
  _TIFFfree(codecs);
}

void NoteUnknownTags(TIFF* reader, const std::vector<DirectoryEntry>& entries) {
  Install();
  for (const DirectoryEntry& entry : entries) {
    const TIFFField* field = TIFFFindField(reader, entry.tag, TIFF_ANY);
    if (field == nullptr || !TIFFFieldIsAnonymous(field)) continue;
    Set(reported, entry.tag);
    if (IsSet(recorded, entry.tag) || (!schemesSkipped && IsSchemeTag(entry.tag)) ||
        TypeSize(entry.type) == 0) {
      continue;
    }
    Set(recorded, entry.tag);
    snprintf(names[entry.tag], sizeof names[entry.tag], "Tag %u", entry.tag);
    definitions.push_back({entry.tag, TIFF_VARIABLE2, TIFF_VARIABLE2,
                           static_cast<TIFFDataType>(entry.type), FIELD_CUSTOM, 1, 1,
                           names[entry.tag]});
  }
}

void WarnLeftOut(TIFF* input, uint16_t tag, const char* reason) {
  if (IsSet(leftOut, tag)) return;
  Set(leftOut, tag);
  TIFFWarningExt(TIFFClientdata(input), TIFFFileName(input),
                 "Tag %u left out of the split pages: %s", static_cast<unsigned>(tag), reason);
}
