// The parsed command line: tokens, options and the input name, set once per process by
// ParseCommandLine and only read afterwards.
#ifndef FOLICANT_DRIVER_COMMAND_LINE_H_
#define FOLICANT_DRIVER_COMMAND_LINE_H_

#include <cstddef>
#include <cstdint>

constexpr int kTokenSlots = 100;  // slot 0 is never used, so at most 99 tokens
constexpr size_t kPathBufferSize = 1028;
constexpr size_t kMessageBufferSize = 1024;

/// Pointers into the tail, one per token, in the order the tokens appear; slot 0 stays empty.
using TokenTable = char* [kTokenSlots];

/// Options as read from the tokens. The four slots hold the TokenTable slot of the option's last
/// occurrence, 0 when it was not given; an option's value is its token from the third character on.
struct SplitOptions {
  int32_t logFlag;
  int32_t removeInputFlag;
  int32_t outputNameSlot;
  int32_t outputPathSlot;
  int32_t notifyFileSlot;
  int32_t companionFileSlot;
  int32_t inputSeen;
  // The first plain token did not fit inputPath; it is rejected rather than shortened.
  int32_t inputTooLong;
};

extern TokenTable tokenTable;
extern int tokenCount;
extern SplitOptions splitOptions;
extern char inputPath[kPathBufferSize];
extern const char* inputName;  // last component of inputPath
/// Every message with variable parts, and the usage text, is composed here.
extern char messageBuffer[kMessageBufferSize];

extern const char kUsageText[];

/// Composes a message printf-style into messageBuffer, cut to fit it.
void ComposeMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Tokenises `tail` in place (at runs of spaces and tabs, 99 tokens at most) and fills tokenTable,
/// splitOptions, inputPath and inputName. Windows: the process gets one command line.
void ParseCommandLine(char* tail);

/// Takes every non-empty argument as one token as it stands, blanks included (99 tokens at most),
/// and fills the same state; the arguments must live until the process ends. Linux: the process
/// gets its arguments apart, and a name holding a blank is one name.
void ParseArguments(int count, char* const* arguments);

/// The value of the option whose token stands in `slot` (non-zero): its text from the third
/// character on.
const char* OptionValue(int32_t slot);

/// The part of `path` after its last backslash, or the whole path.
const char* LastComponent(const char* path);

/// Clears all command-line state to its process-start values (for tests running several command
/// lines in one process).
void ResetCommandLineState();

#endif  // FOLICANT_DRIVER_COMMAND_LINE_H_
