// Linux entry: every argument is one token, so a name may hold blanks.
#include <signal.h>

#include "driver/entry.h"

int main(int argc, char** argv) {
  // A write past the file-size limit then fails as a write, instead of killing the process.
  signal(SIGXFSZ, SIG_IGN);
  return RunFolicantWithArguments(argc - 1, argv + 1);
}
