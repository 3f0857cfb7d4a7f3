// The program in a directory that a stranger can write to: it runs as an unprivileged user (nobody,
// when the tests run as root) against names planted as links, FIFOs and directories, and against
// helpers that swap names while it runs. Nothing may be written through a link it did not create,
// no input or output may be emptied or deleted by mistake, and no run may hang.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "tests/tiff_entries.h"
#include "tests/tiff_fixture.h"

namespace {

bool Logged(const TempDir& dir, const std::string& message) {
  for (const std::string& line : Messages(dir)) {
    if (line == message) return true;
  }
  return false;
}

bool IsRegularWithOneLink(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
}

void SkipUnderWine() {
  if (RunsUnderWine()) GTEST_SKIP() << "needs POSIX links, FIFOs or file modes (see test-windows)";
}

TEST(HostileDirectories, PlantedLinksAreReplacedOrRefusedNeverWrittenThrough) {
  SkipUnderWine();
  TempDir dir;
  MakeShared(dir.path());
  MakeShared(dir / "out");
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(3)));
  chmod((dir / "fax.tif").c_str(), 0666);
  WriteShared(dir / "victim", "victim");
  WriteShared(dir / "archive", "archived copy");
  WriteShared(dir / "comp.dat", "companion");
  ASSERT_EQ(symlink("../victim", (dir / "out/fax.000").c_str()), 0);
  ASSERT_EQ(link((dir / "archive").c_str(), (dir / "out/fax.001").c_str()), 0);
  ASSERT_EQ(symlink("../nowhere", (dir / "out/fax.002").c_str()), 0);
  ASSERT_EQ(symlink("../victim", (dir / "out/done").c_str()), 0);
  ASSERT_EQ(symlink("../victim", (dir / "out/comp.dat").c_str()), 0);
  ASSERT_EQ(symlink("victim", (dir / "folicant.log").c_str()), 0);

  RunResult run =
      RunProgram({"fax.tif", "/pout", "/l", "/ndone", "/mcomp.dat"}, dir.path(), Stranger());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / "victim"), "victim");
  EXPECT_EQ(ReadFile(dir / "archive"), "archived copy");
  EXPECT_FALSE(FileExists(dir / "nowhere"));
  for (const char* name : {"out/fax.000", "out/fax.001", "out/fax.002"}) {
    EXPECT_TRUE(IsRegularWithOneLink(dir / name)) << name;
    EXPECT_EQ(CountDirectories(dir / name), 1) << name;
  }
  EXPECT_TRUE(IsRegularWithOneLink(dir / "out/done"));
  EXPECT_EQ(ReadFile(dir / "out/done"), "");
  // The move never replaces: the planted link stays, and so does the companion.
  EXPECT_EQ(ReadFile(dir / "comp.dat"), "companion");

  // A link to the input at an output name is refused as the input itself; so is a notify file
  // that is the input through a link.
  unlink((dir / "folicant.log").c_str());
  unlink((dir / "out/fax.001").c_str());
  ASSERT_EQ(symlink("../fax.tif", (dir / "out/fax.001").c_str()), 0);
  std::string input = ReadFile(dir / "fax.tif");
  run = RunProgram({"fax.tif", "/pout", "/l", "/r"}, dir.path(), Stranger());
  EXPECT_EQ(ReadFile(dir / "fax.tif"), input);
  EXPECT_EQ(Messages(dir).back(), "Exit folicant");
  EXPECT_EQ(Messages(dir)[Messages(dir).size() - 2], "Writing 'out\\fax.001'");
}

TEST(HostileDirectories, FifosAsInputLogAndCompanionNeverHang) {
  SkipUnderWine();
  TempDir dir;
  MakeShared(dir.path());
  mkfifo((dir / "in.tif").c_str(), 0666);
  RunResult run = RunProgram({"in.tif", "/l", "/r", "/ndone"}, dir.path(), Stranger(10));
  EXPECT_FALSE(run.timedOut);
  std::vector<std::string> expected = {"Invoked with arguments 'in.tif /l /r /ndone'",
                                       "In: 'in.tif'; Out: 'in.xxx';",
                                       "0 file(s) written",
                                       "Could not delete 'in.tif'",
                                       "File 'done' touched",
                                       "Exit folicant"};
  EXPECT_EQ(Messages(dir), expected);
  struct stat info;
  EXPECT_TRUE(lstat((dir / "in.tif").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));

  // A FIFO log, without and then with a reader: skipped either way, the split goes on.
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(2)));
  unlink((dir / "folicant.log").c_str());
  mkfifo((dir / "folicant.log").c_str(), 0666);
  run = RunProgram({"fax.tif", "/l"}, dir.path(), Stranger(10));
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(CountDirectories(dir / "fax.001"), 1);
  int reader = open((dir / "folicant.log").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  run = RunProgram({"fax.tif", "/l"}, dir.path(), Stranger(10));
  EXPECT_FALSE(run.timedOut);
  char byte;
  EXPECT_LE(read(reader, &byte, 1), 0);
  close(reader);

  // A FIFO companion, moved within the file system and across one.
  unlink((dir / "folicant.log").c_str());
  mkfifo((dir / "comp.dat").c_str(), 0666);
  MakeShared(dir / "out");
  run = RunProgram({"fax.tif", "/pout", "/l", "/mcomp.dat"}, dir.path(), Stranger(10));
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(Logged(dir, "Could not move 'comp.dat' to 'out\\comp.dat'"));
  // The same onto /dev/shm, another file system where there is one.
  std::string elsewhere = "/dev/shm/folicant-fifo-" + std::to_string(getpid());
  MakeShared(elsewhere);
  std::string windowsPath = elsewhere;
  for (char& c : windowsPath) c = c == '/' ? '\\' : c;
  run = RunProgram({"fax.tif", "/p" + windowsPath, "/l", "/mcomp.dat"}, dir.path(), Stranger(10));
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(Logged(dir, "Could not move 'comp.dat' to '" + windowsPath + "\\comp.dat'"));
  EXPECT_TRUE(lstat((dir / "comp.dat").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
  std::filesystem::remove_all(elsewhere);
}

TEST(HostileDirectories, NotifyNeverEmptiesTheInputAnOutputOrADirectory) {
  SkipUnderWine();
  TempDir dir;
  MakeShared(dir.path());
  MakeShared(dir / "out");
  MakeShared(dir / "out/empty");
  ASSERT_TRUE(WriteTiffFile(dir / "a.tif", SimplePages(2)));
  chmod((dir / "a.tif").c_str(), 0666);
  std::string input = ReadFile(dir / "a.tif");
  struct Case {
    std::vector<std::string> arguments;
    std::string refused;
  };
  const Case cases[] = {
      {{"a.tif", "/l", "/na.tif"}, "a.tif"},
      {{"a.tif", "/l", "/na.001"}, "a.001"},
      {{"a.tif", "/l", "/pout", "/n"}, "out\\"},
      {{"a.tif", "/l", "/pout", "/nempty"}, "out\\empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    unlink((dir / "folicant.log").c_str());
    RunResult run = RunProgram(c.arguments, dir.path(), Stranger());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Messages(dir)[Messages(dir).size() - 2], "Could not touch '" + c.refused + "'");
    EXPECT_EQ(ReadFile(dir / "a.tif"), input);
  }
  EXPECT_EQ(CountDirectories(dir / "a.001"), 1);
  struct stat info;
  EXPECT_TRUE(stat((dir / "out").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
  EXPECT_TRUE(stat((dir / "out/empty").c_str(), &info) == 0 && S_ISDIR(info.st_mode));

  // Once /r has removed the input, its name is free for the notify file.
  unlink((dir / "folicant.log").c_str());
  RunProgram({"a.tif", "/l", "/r", "/na.tif"}, dir.path(), Stranger());
  EXPECT_TRUE(Logged(dir, "File 'a.tif' deleted"));
  EXPECT_TRUE(Logged(dir, "File 'a.tif' touched"));
}

TEST(HostileDirectories, MovesAcrossFileSystemsDropSetuidAndNeverFollowLinks) {
  SkipUnderWine();
  TempDir dir;
  struct stat here, shm;
  if (stat(dir.path().c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 ||
      here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "/dev/shm is not a file system of its own here";
  }
  MakeShared(dir.path());
  std::string elsewhere = "/dev/shm/folicant-move-" + std::to_string(getpid());
  MakeShared(elsewhere);
  std::string windowsPath = elsewhere;
  for (char& c : windowsPath) c = c == '/' ? '\\' : c;
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(1)));
  WriteShared(dir / "tool", std::string(100000, 't'));
  chmod((dir / "tool").c_str(), 06777);
  WriteShared(dir / "victim", "victim");
  ASSERT_EQ(symlink("victim", (dir / "linked").c_str()), 0);
  // A link planted at the first temporary name is passed over, never written through.
  ASSERT_EQ(symlink((dir / "victim").c_str(), (elsewhere + "/tool.part0").c_str()), 0);

  for (const char* companion : {"tool", "linked"}) {
    RunProgram({"fax.tif", "/p" + windowsPath, "/l", std::string("/m") + companion}, dir.path(),
               Stranger());
  }
  EXPECT_TRUE(Logged(dir, "File 'tool' moved to '" + windowsPath + "\\tool'"));
  EXPECT_TRUE(Logged(dir, "Could not move 'linked' to '" + windowsPath + "\\linked'"));
  struct stat moved;
  ASSERT_EQ(lstat((elsewhere + "/tool").c_str(), &moved), 0);
  EXPECT_EQ(moved.st_mode & 07000, 0u);
  EXPECT_EQ(ReadFile(elsewhere + "/tool"), std::string(100000, 't'));
  EXPECT_FALSE(FileExists(dir / "tool"));
  EXPECT_FALSE(FileExists(elsewhere + "/tool.part1"));
  EXPECT_FALSE(FileExists(elsewhere + "/linked"));
  EXPECT_TRUE(FileExists(dir / "linked"));
  EXPECT_EQ(ReadFile(dir / "victim"), "victim");
  std::filesystem::remove_all(elsewhere);
}

void Put(std::string& bytes, size_t at, size_t size, uint64_t value) {
  for (size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Copies the last directory of a little-endian file to the end of the file and points the chain
// at the copy, so that the file ends with its next-directory pointer (libtiff writes tag values
// after a directory).
std::string LastDirectoryAtTheEnd(std::string bytes, bool bigTiff) {
  TiffEntries file;
  if (!file.Parse(bytes)) return bytes;
  std::vector<uint64_t> chain = file.Chain();
  size_t pointerSize = bigTiff ? 8 : 4;
  uint64_t last = chain.back();
  uint64_t reference = chain.size() > 1 ? file.NextPointerAt(chain[chain.size() - 2]) : pointerSize;
  uint64_t end = file.NextPointerAt(last) + pointerSize;
  if (bytes.size() % 2 != 0) bytes += '\0';
  size_t moved = bytes.size();
  bytes += bytes.substr(last, end - last);
  Put(bytes, reference, pointerSize, moved);
  return bytes;
}

// libtiff reads a next-directory pointer cut off by the end of the file as "no more directories".
TEST(HostileDirectories, ACutNextDirectoryPointerKeepsTheInput) {
  TempDir dir;
  for (bool bigTiff : {false, true}) {
    FileSpec format;
    format.bigTiff = bigTiff;
    ASSERT_TRUE(WriteTiffFile(dir / "whole.tif", SimplePages(2), format));
    std::string bytes = LastDirectoryAtTheEnd(ReadFile(dir / "whole.tif"), bigTiff);
    WriteFile(dir / "whole.tif", bytes);
    ASSERT_EQ(CountDirectories(dir / "whole.tif"), 2);
    size_t pointerSize = bigTiff ? 8 : 4;
    for (size_t cut : {size_t{1}, pointerSize}) {
      SCOPED_TRACE(std::to_string(cut) + (bigTiff ? " BigTIFF" : " classic"));
      std::string shortened = bytes.substr(0, bytes.size() - cut);
      WriteFile(dir / "cut.tif", shortened);
      unlink((dir / "folicant.log").c_str());
      RunResult run = RunProgram({"cut.tif", "/l", "/r"}, dir.path());
      EXPECT_EQ(run.status, 0);
      EXPECT_TRUE(Logged(dir, "2 file(s) written"));
      EXPECT_TRUE(Logged(dir, "Could not delete 'cut.tif'"));
      EXPECT_EQ(ReadFile(dir / "cut.tif"), shortened);
    }
    // The whole file: its last pointer lies inside and reads zero, so /r removes it.
    unlink((dir / "folicant.log").c_str());
    RunProgram({"whole.tif", "/l", "/r"}, dir.path());
    EXPECT_TRUE(Logged(dir, "File 'whole.tif' deleted"));
  }
}

// Runs `body` again and again on another thread until `seconds` have passed or it returns false.
class Racer {
 public:
  Racer(double seconds, std::function<bool()> body)
      : thread_([this, seconds, body] {
          auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
          while (!stop_ && std::chrono::steady_clock::now() < end && body()) ++rounds_;
          stop_ = true;
        }) {}
  ~Racer() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Running() const { return !stop_; }
  long Rounds() const { return rounds_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> rounds_{0};
  std::thread thread_;
};

TEST(HostileDirectories, RacesOnOutputNamesNeverEmptyTheInput) {
  SkipUnderWine();
  TempDir dir;
  MakeShared(dir.path());
  MakeShared(dir / "out");
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(6)));
  chmod((dir / "fax.tif").c_str(), 0666);
  std::string input = ReadFile(dir / "fax.tif");
  // Flips one output name between a file of its own and a hard link to the input, one system
  // call a flip, so that the name changes between any look at it and the create.
  std::string name = dir / "out/fax.003", alternate = dir / "out/alternate";
  ASSERT_EQ(link((dir / "fax.tif").c_str(), name.c_str()), 0);
  WriteShared(alternate, "plain");
  Racer racer(2.0, [&] {
    renameat2(AT_FDCWD, alternate.c_str(), AT_FDCWD, name.c_str(), RENAME_EXCHANGE);
    return true;
  });
  int runs = 0;
  while (racer.Running()) {
    RunProgram({"fax.tif", "/pout"}, dir.path(), Stranger());
    ++runs;
    ASSERT_EQ(ReadFile(dir / "fax.tif"), input) << "after run " << runs;
  }
  racer.Stop();
  EXPECT_GT(runs, 1);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
}

TEST(HostileDirectories, RacesOnTheInputNameNeverRemoveAnotherFile) {
  SkipUnderWine();
  TempDir dir;
  MakeShared(dir.path());
  mkdir((dir / "keep").c_str(), 0700);
  ASSERT_TRUE(WriteTiffFile(dir / "fresh.tif", SimplePages(60)));
  WriteShared(dir / "stranger", "a file that arrived under the input's name");
  // A second name out of the program's reach: the stranger's file is removed by someone exactly
  // when this name's link count drops, as the helper only renames, never replacing.
  ASSERT_EQ(link((dir / "stranger").c_str(), (dir / "keep/stranger").c_str()), 0);
  std::string name = dir / "a.tif", hold = dir / "hold", stranger = dir / "stranger";
  auto swapper = [&] {
    // Puts the stranger's file under the input's name and takes it away again.
    if (RenameNoReplace(name, hold) == 0) {
      RenameNoReplace(stranger, name);
      RenameNoReplace(name, stranger);
      RenameNoReplace(hold, name);
    }
    return true;
  };
  auto start = std::chrono::steady_clock::now();
  int runs = 0;
  struct stat kept;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    if (!FileExists(name) && !FileExists(hold)) WriteFile(name, ReadFile(dir / "fresh.tif"));
    chmod(name.c_str(), 0666);
    Racer racer(1.0, swapper);
    RunProgram({"a.tif", "/r"}, dir.path(), Stranger());
    racer.Stop();
    ++runs;
    ASSERT_EQ(stat((dir / "keep/stranger").c_str(), &kept), 0);
    ASSERT_EQ(kept.st_nlink, 2u) << "after run " << runs;
  }
}

TEST(HostileDirectories, RacesOnLogNotifyAndMoveNamesNeverFollowALink) {
  SkipUnderWine();
  TempDir dir;
  MakeShared(dir.path());
  MakeShared(dir / "out");
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(5)));
  // Plants links to a file that does not exist yet at every name a run writes after the split,
  // and takes them away again. The test's own look at the names and its clean-up hold the lock,
  // so that the link the stranger saw is the one it takes away, never a file moved in meanwhile.
  int counter = 0;
  std::mutex planting;
  Racer racer(2.0, [&] {
    std::lock_guard<std::mutex> hold(planting);
    const char* names[] = {"folicant.log", "out/done", "out/comp.dat"};
    std::string planted = dir / names[counter % 3];
    struct stat info;
    if (counter++ % 2 == 0) {
      if (symlink((dir / "created-by-the-stranger").c_str(), planted.c_str()) != 0) return true;
    } else if (lstat(planted.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      unlink(planted.c_str());
    }
    return true;
  });
  int runs = 0;
  while (racer.Running()) {
    WriteShared(dir / "comp.dat", "companion");
    RunProgram({"fax.tif", "/pout", "/l", "/ndone", "/mcomp.dat"}, dir.path(), Stranger());
    ++runs;
    std::lock_guard<std::mutex> hold(planting);
    ASSERT_FALSE(FileExists(dir / "created-by-the-stranger")) << "after run " << runs;
    bool moved = ReadFile(dir / "out/comp.dat") == "companion";
    ASSERT_TRUE(moved != FileExists(dir / "comp.dat")) << "after run " << runs;
    unlink((dir / "out/comp.dat").c_str());
  }
}

}  // namespace
