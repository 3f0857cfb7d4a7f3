#include "app/command_tail.h"

const char* CommandLineTail(const char* commandLine, LeadByteTest isLeadByte) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') {
      // A quotation mark in second-byte position belongs to its character, not the name's end.
      if (isLeadByte != nullptr && isLeadByte(*p) && p[1] != '\0') ++p;
      ++p;
    }
    if (*p == '"') ++p;
  } else {
    while (*p > 0x20) ++p;
  }
  while (*p >= 0x01 && *p <= 0x20) ++p;
  return reinterpret_cast<const char*>(p);
}
