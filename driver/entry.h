// What both platform entries do once they hold the command-line tail.
#ifndef FOLICANT_DRIVER_ENTRY_H_
#define FOLICANT_DRIVER_ENTRY_H_

/// Runs the driver on `tail` (modifiable; it must live until the process ends), logs
/// "Exit folicant" and returns the exit status 0. The file-count limit ends the process inside
/// with status 1 instead.
int RunFolicant(char* tail);

/// The same for the arguments one by one (`count` of them, living until the process ends): each
/// non-empty argument is one token, blanks and all.
int RunFolicantWithArguments(int count, char* const* arguments);

#endif  // FOLICANT_DRIVER_ENTRY_H_
