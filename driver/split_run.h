// The split run: every page of the input into base.000, base.001, ... and the state the post-split
// actions read afterwards.
#ifndef FOLICANT_DRIVER_SPLIT_RUN_H_
#define FOLICANT_DRIVER_SPLIT_RUN_H_

#include "driver/command_line.h"
#include "platform/platform.h"

constexpr int kMaxOutputFiles = 999;  // suffixes .000 to .998

/// The output base, then base plus the current suffix; the post-split actions reuse it.
extern char outputPath[kPathBufferSize];
/// Output files named so far, and so the number the next suffix carries.
extern int fileCounter;
/// 1 once every page of the input was written and the input's last directory was reached (its
/// whole next-directory pointer inside the file, and zero); only then may the input be removed.
extern int inputFullySplit;
/// The input as opened, and the outputs this run created (the first outputsCreated entries).
extern FileIdentity inputIdentity;
extern FileIdentity outputIdentities[kMaxOutputFiles];
extern int outputsCreated;

/// Composes the output base, logs it, and writes every page of the input into a file of its own.
/// Returns 1 when the run completed (the count line was logged, also when the input could not be
/// opened) and 0 when it ended early (base too long, an output not created or a page not copied);
/// after an early end the input and output stay open until the process ends. A 1000th page ends
/// the process with status 1.
int RunSplit();

/// Writes the next suffix into outputPath and returns the number of files named so far. At the
/// 1000th name it logs "Too many files" and ends the process with status 1.
int NextOutputName();

/// Puts the split-run state back to its process-start values, closing any handle an early end left
/// open (for tests and the fuzzer, which run many splits in one process).
void ResetSplitRunState();

#endif  // FOLICANT_DRIVER_SPLIT_RUN_H_
