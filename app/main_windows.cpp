// Windows entry. The tail is cut from GetCommandLineA() with our own rule instead of taking
// lpCmdLine: mingw-w64's start-up code computes lpCmdLine differently (a quoted program name
// followed at once by an argument gives it an empty tail).
#include <string.h>
#include <windows.h>

#include "app/command_tail.h"
#include "driver/entry.h"

namespace {

int IsAnsiLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) ? 1 : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* tail = CommandLineTail(GetCommandLineA(), IsAnsiLeadByte);
  // The driver cuts the tail up in place and keeps pointers into it, so it lives until exit.
  static char* modifiableTail = nullptr;
  size_t length = strlen(tail);
  modifiableTail = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
  if (modifiableTail == nullptr) return 0;
  memcpy(modifiableTail, tail, length + 1);
  return RunFolicant(modifiableTail);
}
