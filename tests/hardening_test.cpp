// Bad input, failing writes and runs side by side: each ends in a defined way, never loses the
// input and never leaves a mixed-up log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "tests/sample_files.h"
#include "tests/tiff_entries.h"
#include "tests/tiff_fixture.h"

namespace {

// The run ended early: after `writing` nothing but the exit line, no post-split action, and the
// input as it was.
void ExpectEarlyEnd(const TempDir& dir, const std::string& writing, const std::string& input,
                    const std::string& inputBytes) {
  std::vector<std::string> messages = Messages(dir);
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[messages.size() - 2], writing);
  EXPECT_EQ(messages.back(), "Exit folicant");
  EXPECT_EQ(ReadFile(dir / input), inputBytes);
  EXPECT_FALSE(FileExists(dir / "done"));
}

std::vector<PageSpec> SmallThenLargePage() {
  std::vector<PageSpec> pages = SimplePages(2);
  pages[1].width = 512;
  pages[1].height = 512;
  pages[1].rowsPerStrip = 16;
  return pages;
}

TEST(Faults, AWriteThatFailsMidPageEndsTheRunAndKeepsTheInput) {
  if (getenv("FOLICANT_LAUNCHER") != nullptr) GTEST_SKIP() << "file size limits need a native run";
  TempDir dir;
  mkdir((dir / "out").c_str(), 0755);
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SmallThenLargePage()));
  std::string input = ReadFile(dir / "fax.tif");
  RunLimits limits;
  limits.fileSizeLimit = 100 * 1024;  // the second page takes 256 KiB
  RunResult run = RunProgram({"fax.tif", "/pout", "/l", "/r", "/ndone"}, dir.path(), limits);
  EXPECT_EQ(run.status, 0);
  ExpectEarlyEnd(dir, "Writing 'out\\fax.001'", "fax.tif", input);
  EXPECT_EQ(CountDirectories(dir / "out/fax.000"), 1);
}

TEST(Faults, ADirectoryThatCannotBeWrittenEndsTheRunAndKeepsTheInput) {
  if (getenv("FOLICANT_LAUNCHER") != nullptr) GTEST_SKIP() << "file size limits need a native run";
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(2, 64, 64);  // one strip of 4096 bytes a page
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", pages));
  std::string input = ReadFile(dir / "fax.tif");
  RunLimits limits;
  limits.fileSizeLimit = 8 + 4096 + 40;  // the header and the data fit, the directory does not
  RunResult run = RunProgram({"fax.tif", "/l", "/r", "/ndone"}, dir.path(), limits);
  EXPECT_EQ(run.status, 0);
  ExpectEarlyEnd(dir, "Writing 'fax.000'", "fax.tif", input);
}

TEST(Faults, OutputsThatCannotBeCreatedEndTheRun) {
  TempDir dir;
  chmod(dir.path().c_str(), 0777);
  mkdir((dir / "locked").c_str(), 0755);
  mkdir((dir / "out").c_str(), 0755);
  chmod((dir / "locked").c_str(), 0555);
  chmod((dir / "out").c_str(), 0777);
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(3)));
  chmod((dir / "fax.tif").c_str(), 0666);
  std::string input = ReadFile(dir / "fax.tif");

  RunResult run = RunProgram({"fax.tif", "/plocked", "/l", "/r", "/ndone"}, dir.path(), Stranger());
  EXPECT_EQ(run.status, 0);
  ExpectEarlyEnd(dir, "Writing 'locked\\fax.000'", "fax.tif", input);

  WriteFile(dir / "out/fax.001", "read-only output");
  chmod((dir / "out/fax.001").c_str(), 0444);
  unlink((dir / "folicant.log").c_str());
  run = RunProgram({"fax.tif", "/pout", "/l", "/r", "/ndone"}, dir.path(), Stranger());
  EXPECT_EQ(run.status, 0);
  ExpectEarlyEnd(dir, "Writing 'out\\fax.001'", "fax.tif", input);
  EXPECT_EQ(ReadFile(dir / "out/fax.001"), "read-only output");
  EXPECT_EQ(CountDirectories(dir / "out/fax.000"), 1);
}

// Offset of the first directory of a little-endian classic TIFF file.
uint32_t FirstDirectoryOffset(const std::string& bytes) {
  return ReadLe32(bytes, 4);
}

// Rewrites a one-page little-endian classic TIFF whose image data precede its directory (as
// libtiff writes them) so that the directory and its values come first: then a cut through the
// image data leaves the directory whole.
std::string DirectoryFirst(const std::string& bytes) {
  static const uint32_t kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  uint32_t ifd = ReadLe32(bytes, 4);
  uint16_t entries = ReadLe16(bytes, ifd);
  // The image data end where the lowest out-of-line value or the directory begins.
  uint32_t dataEnd = ifd;
  for (uint16_t i = 0; i < entries; ++i) {
    size_t entry = ifd + 2 + 12 * i;
    uint32_t size = ReadLe32(bytes, entry + 4) * kTypeSize[ReadLe16(bytes, entry + 2)];
    if (size > 4 && ReadLe32(bytes, entry + 8) < dataEnd) dataEnd = ReadLe32(bytes, entry + 8);
  }
  std::string tail = bytes.substr(dataEnd);
  uint32_t tailShift = dataEnd - 8;  // the tail moves down to just after the header
  uint32_t dataShift = static_cast<uint32_t>(tail.size());
  size_t newIfd = ifd - tailShift;
  for (uint16_t i = 0; i < entries; ++i) {
    size_t entry = newIfd - 8 + 2 + 12 * i;  // position inside `tail`
    uint16_t tag = ReadLe16(tail, entry);
    uint32_t count = ReadLe32(tail, entry + 4);
    uint32_t size = count * kTypeSize[ReadLe16(tail, entry + 2)];
    if (size > 4) WriteLe32(tail, entry + 8, ReadLe32(tail, entry + 8) - tailShift);
    if (tag != TIFFTAG_STRIPOFFSETS) continue;
    if (size <= 4) {
      WriteLe32(tail, entry + 8, ReadLe32(tail, entry + 8) + dataShift);
    } else {
      size_t array = ReadLe32(tail, entry + 8) - 8;
      for (uint32_t k = 0; k < count; ++k) {
        WriteLe32(tail, array + 4 * k, ReadLe32(tail, array + 4 * k) + dataShift);
      }
    }
  }
  std::string header = bytes.substr(0, 8);
  WriteLe32(header, 4, static_cast<uint32_t>(newIfd));
  return header + tail + bytes.substr(8, dataEnd - 8);
}

TEST(Faults, TruncatedInputsAreNeverRemoved) {
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(1, 256, 256);
  pages[0].rowsPerStrip = 16;
  ASSERT_TRUE(WriteTiffFile(dir / "one.tif", pages));
  std::string directoryFirst = DirectoryFirst(ReadFile(dir / "one.tif"));
  WriteFile(dir / "one.tif", directoryFirst);
  ASSERT_EQ(CountDirectories(dir / "one.tif"), 1) << "the rewritten file must stay valid";
  ASSERT_TRUE(WriteTiffFile(dir / "two.tif", SmallThenLargePage()));
  std::string twoPages = ReadFile(dir / "two.tif");

  struct Cut {
    const char* name;
    std::string bytes;
  };
  const Cut cuts[] = {
      {"mid-strip.tif", directoryFirst.substr(0, directoryFirst.size() - 30000)},
      {"mid-first-directory.tif", twoPages.substr(0, FirstDirectoryOffset(twoPages) + 20)},
      {"mid-last-directory.tif", twoPages.substr(0, twoPages.size() - 100)},
      {"header-only.tif", twoPages.substr(0, 8)},
      {"empty.tif", ""},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.name);
    WriteFile(dir / cut.name, cut.bytes);
    unlink((dir / "folicant.log").c_str());
    RunResult run = RunProgram({cut.name, "/l", "/r"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(dir / cut.name), cut.bytes);
    std::vector<std::string> messages = Messages(dir);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Exit folicant");
    for (const std::string& message : messages) {
      EXPECT_NE(message.rfind("File '", 0), 0u) << message;
    }
  }
}

// Byte counts that the file cannot hold fail the page before anything large is read or written:
// one count beyond the file, and the 8 strips of a 1 MiB file that all claim the same 1 MiB, which
// would otherwise write 8 MiB; so does a strip that lies outside the file.
TEST(Faults, ByteCountsTheFileCannotHoldFailThePage) {
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(1);
  pages[0].compression = COMPRESSION_PACKBITS;
  ASSERT_TRUE(WriteTiffFile(dir / "liar.tif", pages));
  ASSERT_TRUE(PatchTagValue(dir / "liar.tif", TIFFTAG_STRIPBYTECOUNTS, 0, 0xFFFFFF00u));
  pages = SimplePages(1, 1024, 1024);
  pages[0].rowsPerStrip = 128;  // strips over 64 KiB, so that the counts are stored as LONG
  ASSERT_TRUE(WriteTiffFile(dir / "overlap.tif", pages));
  for (uint32_t strip = 0; strip < 8; ++strip) {
    ASSERT_TRUE(PatchTagValue(dir / "overlap.tif", TIFFTAG_STRIPOFFSETS, strip, 8));
    ASSERT_TRUE(PatchTagValue(dir / "overlap.tif", TIFFTAG_STRIPBYTECOUNTS, strip, 1u << 20));
  }
  // A strip stored past the end of the file: nothing says where its bytes lie.
  pages = SimplePages(1);
  ASSERT_TRUE(WriteTiffFile(dir / "outside.tif", pages));
  ASSERT_TRUE(PatchTagValue(dir / "outside.tif", TIFFTAG_STRIPOFFSETS, 0, 0x7FFFFF00u));
  for (const char* name : {"liar", "overlap", "outside"}) {
    SCOPED_TRACE(name);
    std::string inputName = std::string(name) + ".tif";
    std::string input = ReadFile(dir / inputName);
    unlink((dir / "folicant.log").c_str());
    RunResult run = RunProgram({inputName, "/l", "/r", "/ndone"}, dir.path());
    EXPECT_EQ(run.status, 0);
    std::string output = std::string(name) + ".000";
    ExpectEarlyEnd(dir, "Writing '" + output + "'", inputName, input);
    EXPECT_LT(ReadFile(dir / output).size(), 4096u);
  }
}

TEST(Faults, AHugeClaimedTileSizeInATinyFileNeedsNoHugeBuffer) {
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(1);
  pages[0].tileWidth = 16;
  pages[0].tileLength = 16;
  ASSERT_TRUE(WriteTiffFile(dir / "tall.tif", pages));
  // 16 by 65520 samples of 65535 bits: a decoded tile of 8 GiB, in a file of a few KiB.
  ASSERT_TRUE(PatchTagValue(dir / "tall.tif", TIFFTAG_TILELENGTH, 0, 65520));
  ASSERT_TRUE(PatchTagValue(dir / "tall.tif", TIFFTAG_BITSPERSAMPLE, 0, 65535));
  std::string input = ReadFile(dir / "tall.tif");
  RunLimits limits;
#if !defined(__SANITIZE_ADDRESS__)
  // With 512 MiB of address space a buffer of the claimed size cannot even be had.
  if (getenv("FOLICANT_LAUNCHER") == nullptr) limits.memoryLimit = 512LL << 20;
#endif
  RunResult run = RunProgram({"tall.tif", "/l"}, dir.path(), limits);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / "tall.tif"), input);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[3], "1 file(s) written");
}

// Repeated entries and a directory linked many times cost their bytes once: each of these pages
// of a few kilobytes is split whole, in a few megabytes, its repeats pointing at one copy.
TEST(Faults, RepeatedEntriesCostTheirBytesOnce) {
  const std::pair<const char*, std::string> inputs[] = {
      {"offsets300.tif", RepeatedOffsetsFile(300)},
      {"offsets4000.tif", RepeatedOffsetsFile(4000)},
      {"links4000.tif", RepeatedLinksFile(4000)}};
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.first);
    TempDir dir;
    WriteFile(dir / input.first, input.second);
    RunLimits limits;
    limits.timeoutSeconds = 30;
    RunResult run = RunProgram({input.first, "/l", "/r"}, dir.path(), limits);
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(run.timedOut);
    EXPECT_FALSE(FileExists(dir / input.first)) << "not split whole";
    EXPECT_LT(ReadFile(dir / (std::string(input.first, strlen(input.first) - 4) + ".000")).size(),
              2 * input.second.size());
#if !defined(__SANITIZE_ADDRESS__)
    if (!RunsUnderWine()) {
      EXPECT_LT(run.peakKib, 32 * 1024);
    }
#endif
  }
}

// Points the last directory's next-directory offset back at the first directory.
void LoopDirectories(const std::string& path) {
  TiffEntries file;
  ASSERT_TRUE(file.Load(path));
  std::vector<uint64_t> chain = file.Chain();
  std::string bytes = ReadFile(path);
  WriteLe32(bytes, file.NextPointerAt(chain.back()), static_cast<uint32_t>(chain.front()));
  WriteFile(path, bytes);
}

TEST(Faults, ADirectoryChainThatLoopsIsSplitOnceAndKept) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "loop.tif", SimplePages(3)));
  LoopDirectories(dir / "loop.tif");
  RunResult run = RunProgram({"loop.tif", "/l", "/r"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 8u);
  EXPECT_EQ(messages[5], "3 file(s) written");
  EXPECT_EQ(messages[6], "Could not delete 'loop.tif'");
  EXPECT_TRUE(FileExists(dir / "loop.tif"));
  EXPECT_FALSE(FileExists(dir / "loop.003"));
}

TEST(Faults, ADirectoryGivenAsTheInputIsKept) {
  TempDir dir;
  mkdir((dir / "folder.tif").c_str(), 0755);
  RunResult run = RunProgram({"folder.tif", "/l", "/r"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[2], "0 file(s) written");
  EXPECT_EQ(messages[3], "Could not delete 'folder.tif'");
  struct stat info;
  EXPECT_EQ(stat((dir / "folder.tif").c_str(), &info), 0);
}

// The run showed the usage and did nothing else: its text on standard error on Linux; nothing
// there from folicant.exe, which shows it in a box (closed at once by wine without a display),
// and would have left libtiff's complaint there had it taken a token for an input.
void ExpectUsageOnly(const RunResult& run) {
  EXPECT_EQ(run.status, 0);
  if (RunsUnderWine()) {
    EXPECT_EQ(run.standardError, "");
  } else {
    EXPECT_NE(run.standardError.find("usage: folicant"), std::string::npos);
  }
}

TEST(BadCommandLines, OverlongTailsNamesAndTokenCountsHaveDefinedOutcomes) {
  TempDir dir;
  std::string tail(10000, 'x');
  RunResult run = RunProgram({"/l", tail}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1], "Input file name too long");

  unlink((dir / "folicant.log").c_str());
  std::vector<std::string> tokens;
  for (int i = 0; i < 1000; ++i) tokens.push_back(i == 500 ? "a.tif" : "/x");
  tokens.push_back("/l");
  run = RunProgram(tokens, dir.path());
  ExpectUsageOnly(run);
  EXPECT_FALSE(FileExists(dir / "folicant.log"));

  for (const char* lone : {"/", "-"}) {
    SCOPED_TRACE(lone);
    ExpectUsageOnly(RunProgram({lone}, dir.path()));
  }
}

TEST(BadCommandLines, ControlCharactersAndHighBytesStayPartOfTheName) {
  TempDir dir;
  std::string name = "f\x01\x7f\xe9\xff\r.tif";
  ASSERT_TRUE(WriteTiffFile(dir / name, SimplePages(2)));
  RunResult run = RunProgram({name, "/l"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::string base = "f\x01\x7f\xe9\xff\r";
  EXPECT_EQ(CountDirectories(dir / base + ".000"), 1);
  EXPECT_EQ(CountDirectories(dir / base + ".001"), 1);
  // The CR is written as '?' in the log, so that the line stays one line.
  EXPECT_EQ(Messages(dir)[1], "In: 'f\x01\x7f\xe9\xff?.tif'; Out: 'f\x01\x7f\xe9\xff?.xxx';");
}

TEST(Concurrency, EightRunsShareOneLogWithoutMixingLines) {
  TempDir dir;
  const int kRuns = 8;
  const int kPages = 200;
  for (int run = 0; run < kRuns; ++run) {
    mkdir((dir / "out" + std::to_string(run)).c_str(), 0755);
    std::vector<PageSpec> pages = SimplePages(kPages, 24, 24);
    for (PageSpec& page : pages) page.seed += static_cast<uint32_t>(run * 1000);
    ASSERT_TRUE(WriteTiffFile(dir / "in" + std::to_string(run) + ".tif", pages));
  }
  std::vector<std::thread> runs;
  std::vector<int> statuses(kRuns, -1);
  for (int run = 0; run < kRuns; ++run) {
    runs.emplace_back([&, run] {
      std::string n = std::to_string(run);
      statuses[static_cast<size_t>(run)] =
          RunProgram({"in" + n + ".tif", "/pout" + n, "/l"}, dir.path()).status;
    });
  }
  for (std::thread& run : runs) run.join();

  std::vector<std::string> messages = Messages(dir);
  EXPECT_EQ(messages.size(), static_cast<size_t>(kRuns * (kPages + 4)));
  for (int run = 0; run < kRuns; ++run) {
    std::string n = std::to_string(run);
    EXPECT_EQ(statuses[static_cast<size_t>(run)], 0);
    int writing = 0, written = 0;
    for (const std::string& message : messages) {
      if (message.rfind("Writing 'out" + n + "\\", 0) == 0) ++writing;
      if (message == std::to_string(kPages) + " file(s) written") ++written;
    }
    EXPECT_EQ(writing, kPages);
    EXPECT_EQ(written, kRuns);
    TIFF* input = TIFFOpen((dir / "in" + n + ".tif").c_str(), "r");
    ASSERT_NE(input, nullptr);
    for (int page = 0; page < kPages; ++page) {
      char suffix[8];
      snprintf(suffix, sizeof suffix, ".%03d", page);
      TIFF* output = TIFFOpen((dir / "out" + n + "/in" + n + suffix).c_str(), "r");
      ASSERT_NE(output, nullptr);
      EXPECT_TRUE(ReadRawChunks(input) == ReadRawChunks(output));
      TIFFClose(output);
      TIFFReadDirectory(input);
    }
    TIFFClose(input);
  }
}

}  // namespace
