// The driver sequence: log the invocation, read the command line, then split or show the usage.
#ifndef FOLICANT_DRIVER_DRIVER_H_
#define FOLICANT_DRIVER_DRIVER_H_

/// Composes the invocation line from `tail` as received, tokenises `tail` in place, logs the
/// invocation, then runs the split and, when it completed, the post-split actions. Without an input
/// name it logs "No input file specified" and shows the usage text instead.
void DriverMain(char* tail);

/// The same sequence for a process that gets its arguments apart: the invocation line shows them
/// joined with single spaces, and every non-empty argument is one token.
void DriverMainWithArguments(int count, char* const* arguments);

#endif  // FOLICANT_DRIVER_DRIVER_H_
