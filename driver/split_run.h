// The split run: every page of the input into base.000, base.001, ...
#ifndef FOLICANT_DRIVER_SPLIT_RUN_H_
#define FOLICANT_DRIVER_SPLIT_RUN_H_

/// Splits the input named on the command line. Returns 1 when the run completed (the count line
/// was logged) and 0 when it ended early.
int RunSplit();

#endif  // FOLICANT_DRIVER_SPLIT_RUN_H_
