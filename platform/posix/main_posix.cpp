// Linux entry: the command-line tail is argv[1..] joined with single spaces.
#include <string>

#include "driver/entry.h"

int main(int argc, char** argv) {
  // The driver cuts the tail up in place and keeps pointers into it, so it lives until exit.
  static std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return RunFolicant(&tail[0]);
}
