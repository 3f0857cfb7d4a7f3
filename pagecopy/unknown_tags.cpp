#include "pagecopy/unknown_tags.h"

#include <fcntl.h>

#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TIFFErrorHandler nextWarningHandler = nullptr;
TIFFErrorHandler nextErrorHandler = nullptr;
int passingOn = 0;  // while a message of the copier's own goes out
int heldBack = 0;
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

// The tag a message of libtiff's is about, when it names it by number as libtiff names the tags it
// does not define ("Tag 65000", "Unknown field with tag 65000"); -1 otherwise.
long TagNamed(const char* text) {
  for (const char* at = text; (at = strstr(at, "ag ")) != nullptr; at += 3) {
    if (at == text || (at[-1] != 't' && at[-1] != 'T') || !isdigit(static_cast<uint8_t>(at[3]))) {
      continue;
    }
    long tag = strtol(at + 3, nullptr, 10);
    if (tag <= 0xFFFF) return tag;
  }
  return -1;
}

// Whether a message is about a tag that a message was passed on for already: libtiff reports a
// tag it does not define, or a value of it that it cannot take, in every directory that holds it.
int IsRepeat(const char* format, va_list arguments) {
  if (passingOn || format == nullptr) return 0;
  char text[512];
  va_list copy;
  va_copy(copy, arguments);
  vsnprintf(text, sizeof text, format, copy);
  va_end(copy);
  long tag = TagNamed(text);
  if (tag < 0) return 0;
  // A scheme's own tag is no surprise when the schemes are skipped on purpose.
  if (IsSet(reported, static_cast<unsigned>(tag)) ||
      (schemesSkipped && IsSchemeTag(static_cast<uint16_t>(tag)))) {
    return 1;
  }
  Set(reported, static_cast<unsigned>(tag));
  return 0;
}

void WarnOncePerTag(const char* module, const char* format, va_list arguments) {
  if (!heldBack && !IsRepeat(format, arguments) && nextWarningHandler != nullptr) {
    nextWarningHandler(module, format, arguments);
  }
}

void ErrOncePerTag(const char* module, const char* format, va_list arguments) {
  if (!heldBack && !IsRepeat(format, arguments) && nextErrorHandler != nullptr) {
    nextErrorHandler(module, format, arguments);
  }
}

// Whether libtiff reads values of `type` quietly under a definition made ahead: it refuses
// offsets (IFD) under any definition, and 64-bit values in a classic file, with a message for
// every directory.
int IsDefinableType(uint16_t type) {
  return TypeSize(type) != 0 && type != TIFF_IFD && type != TIFF_IFD8 && type != TIFF_LONG8 &&
         type != TIFF_SLONG8;
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
  nextWarningHandler = TIFFSetWarningHandler(WarnOncePerTag);
  nextErrorHandler = TIFFSetErrorHandler(ErrOncePerTag);
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
        !IsDefinableType(entry.type)) {
      continue;
    }
    Set(recorded, entry.tag);
    snprintf(names[entry.tag], sizeof names[entry.tag], "Tag %u", entry.tag);
    definitions.push_back({entry.tag, TIFF_VARIABLE2, TIFF_VARIABLE2,
                           static_cast<TIFFDataType>(entry.type), FIELD_CUSTOM, 1, 1,
                           names[entry.tag]});
  }
}

void WarnLeftOut(const char* name, uint16_t tag, const char* reason) {
  if (IsSet(leftOut, tag)) return;
  Set(leftOut, tag);
  Install();
  passingOn = 1;
  TIFFWarningExt(nullptr, name, "Tag %u left out of the split pages: %s",
                 static_cast<unsigned>(tag), reason);
  passingOn = 0;
}

void WarnOnce(const char* name, const std::string& text) {
  // A handful of texts: a short list of what was said.
  static std::vector<std::string> said;
  for (const std::string& before : said) {
    if (before == text) return;
  }
  said.push_back(text);
  Install();
  passingOn = 1;
  TIFFWarningExt(nullptr, name, "%s", text.c_str());
  passingOn = 0;
}

void HoldBackLibtiffMessages(int holdBack) {
  Install();
  heldBack = holdBack;
}
