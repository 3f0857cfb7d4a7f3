// Checks of a split's outputs shared by the end-to-end tests.
#ifndef FOLICANT_TESTS_SPLIT_CHECKS_H_
#define FOLICANT_TESTS_SPLIT_CHECKS_H_

#include <string>

/// The name of output `page` of `base`: base.000, base.001, ...
std::string OutputName(const std::string& base, int page);

/// Every page of `inputPath` is the only page of the matching output of `outputBase`, with the
/// same tags and raw bytes, and there is no further output.
void ExpectPagesSplit(const std::string& inputPath, const std::string& outputBase, int pages);

#endif  // FOLICANT_TESTS_SPLIT_CHECKS_H_
