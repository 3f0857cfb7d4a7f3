// The rule that turns a process command line into the tail the driver receives. It is plain
// byte handling, shared by both platform layers, so that it can be tested anywhere.
#ifndef FOLICANT_APP_COMMAND_TAIL_H_
#define FOLICANT_APP_COMMAND_TAIL_H_

/// Tells whether a byte is the lead byte of a double-byte character in the ANSI code page.
using LeadByteTest = int (*)(unsigned char byte);

/// Returns the position in `commandLine` where the tail begins: after the program name (quoted,
/// up to the closing quotation mark, whose lead bytes take the next byte with them; or unquoted, up
/// to the first byte of 0x20 or lower) and after every byte from 0x01 to 0x20 that follows it.
/// `isLeadByte` may be NULL when the code page has no double-byte characters.
const char* CommandLineTail(const char* commandLine, LeadByteTest isLeadByte);

#endif  // FOLICANT_APP_COMMAND_TAIL_H_
