// The post-split actions: remove the input, move the companion file, touch the notify file.
#ifndef FOLICANT_DRIVER_POST_SPLIT_H_
#define FOLICANT_DRIVER_POST_SPLIT_H_

/// Runs the actions asked for on the command line, in that order, each logging its outcome.
void RunPostSplitActions();

#endif  // FOLICANT_DRIVER_POST_SPLIT_H_
