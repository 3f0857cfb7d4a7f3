#include "pagecopy/tag_warnings.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>

namespace {

const char kUnknownTag[] = "Unknown field with tag ";

TIFFErrorHandler nextHandler = nullptr;
int installed = 0;
uint8_t reported[65536 / 8];

int WasReported(unsigned tag) {
  return reported[tag >> 3] & (1u << (tag & 7));
}
void MarkReported(unsigned tag) {
  reported[tag >> 3] |= static_cast<uint8_t>(1u << (tag & 7));
}

void WarnOncePerTag(const char* module, const char* format, va_list arguments) {
  if (format != nullptr && strncmp(format, kUnknownTag, sizeof kUnknownTag - 1) == 0) {
    // The tag is the message's first argument, a uint16_t promoted to int.
    va_list copy;
    va_copy(copy, arguments);
    unsigned tag = static_cast<unsigned>(va_arg(copy, int)) & 0xFFFF;
    va_end(copy);
    if (WasReported(tag)) return;
    MarkReported(tag);
  }
  if (nextHandler != nullptr) nextHandler(module, format, arguments);
}

}  // namespace

void QuietRepeatedTagWarnings(TIFF* input, const std::vector<DirectoryEntry>& entries) {
  if (!installed) {
    installed = 1;
    nextHandler = TIFFSetWarningHandler(WarnOncePerTag);
  }
  for (const DirectoryEntry& entry : entries) {
    const TIFFField* field = TIFFFindField(input, entry.tag, TIFF_ANY);
    if (field != nullptr && TIFFFieldIsAnonymous(field)) MarkReported(entry.tag);
  }
}
