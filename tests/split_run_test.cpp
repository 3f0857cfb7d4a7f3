// The program's main job, end to end: the built program splits inputs made here, in a fresh
// directory, and every side effect is checked, including the ones that must not happen.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/split_checks.h"
#include "tests/tiff_fixture.h"

namespace {

std::vector<std::string> Lines(std::initializer_list<std::string> lines) {
  return lines;
}

struct NamingCase {
  const char* inputFile;  // where the input is made, relative to the current directory
  std::vector<std::string> arguments;
  const char* inOutLine;
  const char* outputBase;  // where the pages must land, relative to the current directory
};

TEST(SplitRun, NamesTheOutputsFromThePathNameAndInputOptions) {
  const NamingCase cases[] = {
      {"scans/fax.tif",
       {"scans\\fax.tif", "/l"},
       "In: 'scans\\fax.tif'; Out: 'scans\\fax.xxx';",
       "scans/fax"},
      {"fax.tif", {"/l", "fax.tif"}, "In: 'fax.tif'; Out: 'fax.xxx';", "fax"},
      {"fax.tif", {"fax.tif", "/pout", "/l"}, "In: 'fax.tif'; Out: 'out\\fax.xxx';", "out/fax"},
      {"fax.tif", {"fax.tif", "-pout\\", "/l"}, "In: 'fax.tif'; Out: 'out\\fax.xxx';", "out/fax"},
      {"scans/fax.tif",
       {"scans\\fax.tif", "/oother\\name.tif", "/l"},
       "In: 'scans\\fax.tif'; Out: 'scans\\name.xxx';",
       "scans/name"},
      {"scans/fax.tif",
       {"scans\\fax.tif", "/o", "/l"},
       "In: 'scans\\fax.tif'; Out: 'scans\\.xxx';",
       "scans/"},
      {"my.dir/fax", {"my.dir\\fax", "/l"}, "In: 'my.dir\\fax'; Out: 'my.xxx';", "my"},
      {"a.b.tif", {"a.b.tif", "/l"}, "In: 'a.b.tif'; Out: 'a.b.xxx';", "a.b"},
      {"scans/fax.tif",
       {"scans/fax.tif", "/l"},
       "In: 'scans/fax.tif'; Out: 'scans/fax.xxx';",
       "scans/fax"},
  };
  for (const NamingCase& c : cases) {
    SCOPED_TRACE(c.inOutLine);
    TempDir dir;
    mkdir((dir / "scans").c_str(), 0755);
    mkdir((dir / "out").c_str(), 0755);
    mkdir((dir / "my.dir").c_str(), 0755);
    ASSERT_TRUE(WriteTiffFile(dir / c.inputFile, SimplePages(3)));
    RunResult run = RunProgram(c.arguments, dir.path());
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> messages = Messages(dir);
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[1], c.inOutLine);
    EXPECT_EQ(messages[5], "3 file(s) written");
    ExpectPagesSplit(dir / c.inputFile, dir / c.outputBase, 3);
  }
}

TEST(SplitRun, AnEmptyOutputPathWritesAtTheRootOfTheFileSystem) {
  if (access("/", W_OK) != 0) GTEST_SKIP() << "the root directory is not writable";
  TempDir dir;
  std::string name = "folicant-root-test-" + std::to_string(getpid());
  mkdir((dir / "scans").c_str(), 0755);
  ASSERT_TRUE(WriteTiffFile(dir / "scans/" + name + ".tif", SimplePages(1)));
  RunProgram({"scans\\" + name + ".tif", "/p", "/l"}, dir.path());
  EXPECT_EQ(Messages(dir)[1], "In: 'scans\\" + name + ".tif'; Out: '\\" + name + ".xxx';");
  ExpectPagesSplit(dir / "scans/" + name + ".tif", "/" + name, 1);
  unlink(("/" + name + ".000").c_str());
}

TEST(SplitRun, LogsEveryStepOfATwoPageRun) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(2)));
  WriteFile(dir / "fax.000", "an older output that is replaced");
  RunResult run = RunProgram({"/l", "fax.tif"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
  EXPECT_EQ(Messages(dir), Lines({"Invoked with arguments '/l fax.tif'",
                                  "In: 'fax.tif'; Out: 'fax.xxx';", "Writing 'fax.000'",
                                  "Writing 'fax.001'", "2 file(s) written", "Exit folicant"}));
  ExpectPagesSplit(dir / "fax.tif", dir / "fax", 2);
}

TEST(SplitRun, SplitsUpTo999PagesAndStopsWithStatus1AtThe1000th) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "999.tif", SimplePages(999, 8, 8)));
  ASSERT_TRUE(WriteTiffFile(dir / "1000.tif", SimplePages(1000, 8, 8)));

  EXPECT_EQ(RunProgram({"999.tif", "/l", "/r"}, dir.path()).status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 1004u);
  EXPECT_EQ(messages[1001], "999 file(s) written");
  EXPECT_EQ(messages[1002], "File '999.tif' deleted");
  EXPECT_TRUE(FileExists(dir / "999.998"));
  EXPECT_FALSE(FileExists(dir / "999.tif"));

  unlink((dir / "folicant.log").c_str());
  EXPECT_EQ(RunProgram({"1000.tif", "/l", "/r", "/ndone"}, dir.path()).status, 1);
  messages = Messages(dir);
  ASSERT_EQ(messages.size(), 1002u);
  EXPECT_EQ(messages[1000], "Writing '1000.998'");
  EXPECT_EQ(messages[1001], "Too many files");
  EXPECT_EQ(CountDirectories(dir / "1000.998"), 1);
  EXPECT_FALSE(FileExists(dir / "1000.999"));
  EXPECT_TRUE(FileExists(dir / "1000.tif"));
  EXPECT_FALSE(FileExists(dir / "done"));
}

TEST(SplitRun, KeepsTheInputsByteOrderAndFormat) {
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(2);
  for (PageSpec& page : pages) page.bitsPerSample = 16;
  FileSpec bigEndian;
  bigEndian.bigEndian = true;
  FileSpec bigTiff;
  bigTiff.bigTiff = true;
  ASSERT_TRUE(WriteTiffFile(dir / "motorola.tif", pages, bigEndian));
  ASSERT_TRUE(WriteTiffFile(dir / "big.tif", pages, bigTiff));
  RunProgram({"motorola.tif"}, dir.path());
  RunProgram({"big.tif"}, dir.path());
  ExpectPagesSplit(dir / "motorola.tif", dir / "motorola", 2);
  ExpectPagesSplit(dir / "big.tif", dir / "big", 2);
}

// Each page keeps the strips and tiles it was stored in, however large: a strip of 3,000 rows
// stays one strip of 3,000 rows, and a tile of 2 MiB one tile, with the same bytes.
TEST(SplitRun, KeepsEveryPageInItsStoredStripsAndTiles) {
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(3, 1000, 3000);
  pages[1].width = pages[1].height = 1024;
  pages[1].samplesPerPixel = 2;
  pages[1].tileWidth = pages[1].tileLength = 1024;
  pages[2].compression = COMPRESSION_LZW;
  ASSERT_TRUE(WriteTiffFile(dir / "big.tif", pages));
  ASSERT_EQ(RunProgram({"big.tif"}, dir.path()).status, 0);
  TIFF* input = TIFFOpen((dir / "big.tif").c_str(), "rc");
  ASSERT_NE(input, nullptr);
  for (int page = 0; page < 3; ++page) {
    TIFF* output = TIFFOpen((dir / "big.00" + std::to_string(page)).c_str(), "rc");
    ASSERT_NE(output, nullptr) << page;
    EXPECT_EQ(TIFFNumberOfStrips(output), 1u) << page;
    uint32_t rows = 0;
    EXPECT_EQ(TIFFGetField(output, TIFFTAG_ROWSPERSTRIP, &rows), page != 1);
    EXPECT_EQ(rows, page != 1 ? 3000u : 0u);
    EXPECT_TRUE(ReadRawChunks(input) == ReadRawChunks(output)) << page;
    TIFFClose(output);
    TIFFReadDirectory(input);
  }
  TIFFClose(input);
}

TEST(SplitRun, AMissingInputCompletesWithNoFiles) {
  TempDir dir;
  RunResult run = RunProgram({"missing.tif", "/l", "/r", "/ndone.flg"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Messages(dir),
            Lines({"Invoked with arguments 'missing.tif /l /r /ndone.flg'",
                   "In: 'missing.tif'; Out: 'missing.xxx';", "0 file(s) written",
                   "Could not delete 'missing.tif'", "File 'done.flg' touched", "Exit folicant"}));
  EXPECT_FALSE(FileExists(dir / "missing.000"));
}

TEST(SplitRun, AMissingOutputDirectoryEndsTheRunAfterTheFirstWritingLine) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(2)));
  WriteFile(dir / "fax.dat", "companion");
  RunResult run = RunProgram({"fax.tif", "/pnowhere", "/l", "/r", "/mfax.dat", "/nok"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[2], "Writing 'nowhere\\fax.000'");
  EXPECT_EQ(messages[3], "Exit folicant");
  EXPECT_EQ(CountDirectories(dir / "fax.tif"), 2);
  EXPECT_EQ(ReadFile(dir / "fax.dat"), "companion");
  EXPECT_FALSE(FileExists(dir / "nowhere"));
  EXPECT_FALSE(FileExists(dir / "ok"));
}

TEST(SplitRun, NeverEmptiesAnInputThatIsItsOwnOutput) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "fax.000", SimplePages(2)));
  ASSERT_EQ(link((dir / "fax.000").c_str(), (dir / "alias.000").c_str()), 0);
  std::string before = ReadFile(dir / "fax.000");
  for (const char* input : {"fax.000", "alias.000"}) {
    SCOPED_TRACE(input);
    unlink((dir / "folicant.log").c_str());
    RunResult run = RunProgram({input, "/l", "/r"}, dir.path());
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> messages = Messages(dir);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[2], "Writing '" + std::string(input) + "'");
    EXPECT_EQ(ReadFile(dir / "fax.000"), before);
  }
  // A link under the name of the first output is the input too.
  ASSERT_EQ(rename((dir / "alias.000").c_str(), (dir / "other.000").c_str()), 0);
  ASSERT_EQ(rename((dir / "fax.000").c_str(), (dir / "other.tif").c_str()), 0);
  RunProgram({"other.tif", "/r"}, dir.path());
  EXPECT_EQ(ReadFile(dir / "other.tif"), before);
}

TEST(SplitRun, AnOutputBaseOver1023CharactersTouchesNoFile) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "fax.tif", SimplePages(1)));
  std::string deep(1020, 'd');
  RunResult run = RunProgram({"fax.tif", "/p" + deep, "/l", "/r", "/ndone"}, dir.path());
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> messages = Messages(dir);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1], "Output path too long");
  EXPECT_TRUE(FileExists(dir / "fax.tif"));
  EXPECT_FALSE(FileExists(dir / "done"));
}

}  // namespace

namespace {

const char kImageMagick[] = "/usr/bin/convert";

int Shell(const std::string& directory, const std::string& command) {
  return system(("cd '" + directory + "' && " + command + " 2>/dev/null").c_str());
}

TEST(SplitRun, PagesMadeByAnotherToolDecodeToTheSamePixelsThere) {
  if (!FileExists(kImageMagick)) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  const std::string convert = kImageMagick;
  // Three pages each, in the schemes whose pages need tags of the scheme's own to decode: the
  // JPEG tables, and the Predictor of Deflate.
  const std::string colour =
      " -size 320x240 gradient:red-blue radial-gradient:yellow-green pattern:circles "
      "-type truecolor";
  const struct {
    const char* name;
    std::string options;
  } inputs[] = {
      {"fax",
       " -size 320x240 pattern:checkerboard pattern:bricks pattern:hexagons -type bilevel "
       "-compress Group4"},
      {"photo", colour + " -compress JPEG -quality 80"},
      {"deflate", colour + " -compress Zip -define tiff:predictor=2"},
  };
  for (const auto& made : inputs) {
    SCOPED_TRACE(made.name);
    const std::string name = made.name;
    ASSERT_EQ(Shell(dir.path(), convert + made.options + " " + name + ".tif"), 0);
    ASSERT_EQ(RunProgram({name + ".tif"}, dir.path()).status, 0);
    for (int page = 0; page < 3; ++page) {
      std::string input = name + ".tif[" + std::to_string(page) + "]";
      std::string output = OutputName(name, page);
      ASSERT_EQ(Shell(dir.path(), convert + " '" + input + "' rgba:in.rgba"), 0);
      ASSERT_EQ(Shell(dir.path(), convert + " '" + output + "' rgba:out.rgba"), 0) << output;
      std::string decoded = ReadFile(dir / "in.rgba");
      EXPECT_FALSE(decoded.empty());
      EXPECT_TRUE(decoded == ReadFile(dir / "out.rgba")) << output;
    }
  }
}

}  // namespace
