// Starts a program with an exact command line, as Windows callers do, so that tests can hand
// folicant.exe command lines that no argument vector produces (a quoted program name followed at
// once by an argument, say).
//   launch_raw PROGRAM COMMAND-LINE
// PROGRAM is the executable's path; COMMAND-LINE, program name included, is what the child's
// GetCommandLineA returns. Waits for the child and exits with its exit code, or 255 when it could
// not be started.
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: launch_raw PROGRAM COMMAND-LINE\n", stderr);
    return 255;
  }
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child;
  // CreateProcessA may write into the command line; argv[2] is ours to change.
  if (!CreateProcessA(argv[1], argv[2], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &child)) {
    fprintf(stderr, "launch_raw: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 255;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 255;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return static_cast<int>(code);
}
