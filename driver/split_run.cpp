#include "driver/split_run.h"

int RunSplit() {
  return 0;
}
