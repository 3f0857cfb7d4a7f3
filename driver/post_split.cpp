#include "driver/post_split.h"

void RunPostSplitActions() {}
