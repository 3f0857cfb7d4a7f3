#include "tests/run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ProgramPath() {
  const char* program = getenv("FOLICANT_EXE");
  return std::filesystem::absolute(program != nullptr ? program : FOLICANT_DEFAULT_EXE).string();
}

RunResult RunWords(std::vector<std::string> words, const std::string& directory,
                   const RunLimits& limits);

}  // namespace

bool RunsUnderWine() {
  const char* launcher = getenv("FOLICANT_LAUNCHER");
  return launcher != nullptr && *launcher != '\0';
}

RunResult RunProgram(const std::vector<std::string>& arguments, const std::string& directory,
                     const RunLimits& limits) {
  std::vector<std::string> words;
  if (RunsUnderWine()) words.push_back(getenv("FOLICANT_LAUNCHER"));
  words.push_back(ProgramPath());
  words.insert(words.end(), arguments.begin(), arguments.end());
  return RunWords(words, directory, limits);
}

RunResult RunOtherProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& directory) {
  std::vector<std::string> words = {std::filesystem::absolute(program).string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  return RunWords(words, directory, RunLimits());
}

RunResult RunProgramWithCommandLine(const std::string& commandLine, const std::string& directory) {
  std::filesystem::path program = ProgramPath();
  // wine's drive Z: is the Linux root.
  std::string windowsProgram = "Z:" + program.string();
  for (char& c : windowsProgram) c = c == '/' ? '\\' : c;
  std::string launcher = (program.parent_path() / "launch_raw.exe").string();
  return RunWords({getenv("FOLICANT_LAUNCHER"), launcher, windowsProgram, commandLine}, directory,
                  RunLimits());
}

namespace {

RunResult RunWords(std::vector<std::string> words, const std::string& directory,
                   const RunLimits& limits) {
  RunResult result;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  std::string errorPath =
      directory + "/../" + std::filesystem::path(directory).filename().string() + ".stderr";
  pid_t child = fork();
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(127);
    int error = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int nothing = open("/dev/null", O_RDONLY);
    if (error < 0 || nothing < 0) _exit(127);
    dup2(error, 2);
    dup2(nothing, 0);
    if (limits.fileSizeLimit > 0) {
      rlim_t bytes = static_cast<rlim_t>(limits.fileSizeLimit);
      struct rlimit limit = {bytes, bytes};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
    }
    if (limits.memoryLimit > 0) {
      rlim_t bytes = static_cast<rlim_t>(limits.memoryLimit);
      struct rlimit limit = {bytes, bytes};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    if (limits.unprivileged && geteuid() == 0) {
      const gid_t nobody = 65534;
      if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(127);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0) return result;
  // Polled rather than waited on, so that a run that hangs can be killed at its deadline.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.timeoutSeconds);
  useconds_t pause = 200;
  pid_t done;
  struct rusage usage = {};
  while ((done = wait4(child, &status, WNOHANG, &usage)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      result.timedOut = true;
      done = wait4(child, &status, 0, &usage);
      break;
    }
    usleep(pause);
    if (pause < 20000) pause *= 2;
  }
  if (done != child) return result;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.peakKib = usage.ru_maxrss;
  result.standardError = ReadFile(errorPath);
  unlink(errorPath.c_str());
  return result;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/folicant-test-XXXXXX";
  char* made = mkdtemp(&pattern[0]);
  path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  // Tests make files and directories read-only; give write access back so all can go.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    chmod(it->path().c_str(), 0755);
  }
  chmod(path_.c_str(), 0755);
  std::filesystem::remove_all(path_, ignored);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

namespace {

// "Www mm/dd/yy HH:MM:SS:  " with a real weekday and digits where the numbers go.
bool IsTimestampField(const std::string& field) {
  static const char kShape[] = "Www 99/99/99 99:99:99:  ";
  static const std::string kWeekdays = "Sun Mon Tue Wed Thu Fri Sat";
  if (field.size() != sizeof kShape - 1) return false;
  if (field[3] != ' ' || kWeekdays.find(field.substr(0, 3)) % 4 != 0) return false;
  for (size_t i = 3; i < field.size(); ++i) {
    bool digit = field[i] >= '0' && field[i] <= '9';
    if (kShape[i] == '9' ? !digit : field[i] != kShape[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> LogMessages(const std::string& log) {
  std::vector<std::string> messages;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    std::string line =
        log.substr(start, end == std::string::npos ? std::string::npos : end - start);
    EXPECT_TRUE(IsTimestampField(line.substr(0, 24))) << line;
    messages.push_back(line.size() >= 24 ? line.substr(24) : line);
    if (end == std::string::npos) {
      messages.back() += "<no CR LF>";
      break;
    }
    start = end + 2;
  }
  return messages;
}

std::vector<std::string> Messages(const TempDir& dir) {
  return LogMessages(ReadFile(dir / "folicant.log"));
}

RunLimits Stranger(int timeoutSeconds) {
  RunLimits limits;
  limits.unprivileged = true;
  limits.timeoutSeconds = timeoutSeconds;
  return limits;
}

void MakeShared(const std::string& path) {
  mkdir(path.c_str(), 0777);
  chmod(path.c_str(), 0777);
}

void WriteShared(const std::string& path, const std::string& content) {
  WriteFile(path, content);
  chmod(path.c_str(), 0666);
}
