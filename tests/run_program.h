// Runs the built program the way its callers do: a fresh process in a chosen current directory.
#ifndef FOLICANT_TESTS_RUN_PROGRAM_H_
#define FOLICANT_TESTS_RUN_PROGRAM_H_

#include <string>
#include <vector>

struct RunResult {
  int status = -1;        // exit status, or -1 when the process did not exit normally
  bool timedOut = false;  // killed after RunLimits::timeoutSeconds
  long peakKib = 0;       // the largest resident set the process had, in KiB
  std::string standardError;
};

struct RunLimits {
  long long fileSizeLimit = 0;  // non-zero: RLIMIT_FSIZE in bytes (SIGXFSZ left as it is)
  long long memoryLimit = 0;    // non-zero: RLIMIT_AS in bytes (not for sanitizer builds)
  // Run as the user nobody when the tests run as root, so that file modes apply; `directory`
  // must then be open to that user.
  bool unprivileged = false;
  // A run still going after this long is killed, so that a hang fails its test, not the suite.
  int timeoutSeconds = 120;
};

/// Runs the program named by the environment variable FOLICANT_EXE (behind FOLICANT_LAUNCHER, for
/// instance "wine", when that is set) with `arguments` in `directory`, and waits for it.
RunResult RunProgram(const std::vector<std::string>& arguments, const std::string& directory,
                     const RunLimits& limits = RunLimits());

/// Runs `program` itself, without FOLICANT_LAUNCHER, with `arguments` in `directory`.
RunResult RunOtherProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& directory);

/// True when FOLICANT_LAUNCHER is set: the program under test is folicant.exe, run by wine.
bool RunsUnderWine();

/// Windows only (under wine): starts the program with `commandLine` as its exact command line,
/// program name included, through the launch_raw.exe built next to it, in `directory`, and waits.
RunResult RunProgramWithCommandLine(const std::string& commandLine, const std::string& directory);

/// A fresh directory under the system's temporary directory, removed with its contents at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// The messages of the event log `log`, each line's timestamp field checked and cut off. A last
/// line without CR LF is returned with "<no CR LF>" appended.
std::vector<std::string> LogMessages(const std::string& log);

/// The messages of the event log in `dir`.
std::vector<std::string> Messages(const TempDir& dir);

/// Limits for a run as the user nobody (when the tests run as root), killed after
/// `timeoutSeconds`: a stranger's run in a shared directory.
RunLimits Stranger(int timeoutSeconds = 60);

/// Makes the directory `path` (when missing) writable by everyone, as a spool directory shared
/// with others; writes a file there that everyone may write.
void MakeShared(const std::string& path);
void WriteShared(const std::string& path, const std::string& content);

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

#endif  // FOLICANT_TESTS_RUN_PROGRAM_H_
