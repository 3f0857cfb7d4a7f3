// Prints the text of an open message box, so that a test can see what a box really shows.
//   box_text CAPTION
// Writes the text of the message box whose caption is CAPTION to standard output, unchanged.
// Exits with 1 when no such box is open.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: box_text CAPTION\n", stderr);
    return 2;
  }
  // Message boxes are dialogs of class #32770; their text is the static control 0xFFFF.
  HWND box = FindWindowA("#32770", argv[1]);
  if (box == nullptr) return 1;
  static char text[8192];
  // WM_GETTEXT, unlike GetWindowTextA, reaches a control of another process.
  LRESULT length = SendDlgItemMessageA(box, 0xFFFF, WM_GETTEXT, sizeof text, (LPARAM)text);
  _setmode(_fileno(stdout), _O_BINARY);  // the text as it is, line feeds not widened
  fwrite(text, 1, static_cast<size_t>(length), stdout);
  return 0;
}
