// Writes the benchmark's input files through libtiff's writing API. Every pixel comes from a fixed
// seed, so two runs write the same bytes. The pages look like what the tool is fed in practice:
// text set in a made-up font on fax and scanned pages, smooth fields with grain on photographic
// ones, so that each scheme compresses them about as much as it compresses the real thing.
//
//   folicant_make_corpus DIRECTORY [WORKLOAD...]
//
// writes DIRECTORY/WORKLOAD.tif for each workload named (all when none is):
//   fax500   500 bilevel pages 1728x2200, CCITT Group 4, one strip a page
//   scan50   50 RGB pages 2480x3508, LZW with horizontal predictor, 128 rows a strip
//   raw8     8 grey pages 6000x6000, uncompressed, one strip a page
//   tiny999  999 grey pages 16x16, uncompressed
//   jpeg40   40 RGB pages 2000x1500, JPEG (YCbCr 2x2) with a JPEGTables tag, 256 rows a strip
//   tiled20  20 RGB pages 4096x4096, Deflate, tiles of 256x256
//   meta300  300 RGB map tiles 256x256, Deflate, each with an ICC profile, XMP, an EXIF directory
//            and GeoTIFF georeferencing
//   plain300 the same 300 pages without those tags
//   huge2g   one 8-bit grey page 65536x32768 stored as one uncompressed strip of 2 GiB, a sparse
//            file written directly (libtiff's writer would need the strip in memory)
#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kCorpusSeed = 0x666f6c6963616e74ULL;  // "folicant"

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t Next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int Below(int bound) { return static_cast<int>(Next() % static_cast<uint64_t>(bound)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
};

uint64_t PageSeed(const char* workload, int page) {
  uint64_t seed = kCorpusSeed;
  for (const char* p = workload; *p != '\0'; ++p) seed = seed * 131 + static_cast<uint8_t>(*p);
  return seed * 1000003ULL + static_cast<uint64_t>(page);
}

// A coverage mask: 0 is paper, 255 is ink.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> ink;
  Mask(int w, int h) : width(w), height(h), ink(static_cast<size_t>(w) * h, 0) {}
  void Fill(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width);
    y1 = std::min(y1, height);
    for (int y = y0; y < y1; ++y) {
      if (x0 < x1) memset(&ink[static_cast<size_t>(y) * width + x0], 255, x1 - x0);
    }
  }
};

// A made-up font: each glyph a few strokes between points of a 4x6 grid, drawn at any size. The
// same 60 shapes recur across a page as letters do, which is what fax coding and LZW feed on.
struct Glyph {
  int strokes[5][4];  // grid x0, y0, x1, y1
  int count;
  int ascends;  // tall letters reach one grid row higher
};

std::vector<Glyph> MakeFont() {
  Random random(kCorpusSeed ^ 0xf0);
  std::vector<Glyph> font(60);
  for (Glyph& glyph : font) {
    glyph.count = random.Between(2, 4);
    glyph.ascends = random.Below(4) == 0;
    for (int s = 0; s < glyph.count; ++s) {
      int x0 = random.Below(4), y0 = random.Below(5) + (glyph.ascends ? 0 : 1);
      int kind = random.Below(3);  // vertical, horizontal, diagonal
      int x1 = kind == 0 ? x0 : random.Below(4);
      int y1 = kind == 1 ? y0 : random.Below(5) + 1;
      glyph.strokes[s][0] = x0;
      glyph.strokes[s][1] = y0;
      glyph.strokes[s][2] = x1;
      glyph.strokes[s][3] = y1;
    }
  }
  return font;
}

// Draws glyph strokes `thickness` wide into a glyph cell `cell` pixels per grid step.
void DrawGlyph(Mask& mask, const Glyph& glyph, int x, int y, int cell, int thickness) {
  for (int s = 0; s < glyph.count; ++s) {
    int x0 = x + glyph.strokes[s][0] * cell, y0 = y + glyph.strokes[s][1] * cell;
    int x1 = x + glyph.strokes[s][2] * cell, y1 = y + glyph.strokes[s][3] * cell;
    int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i) {
      int px = steps == 0 ? x0 : x0 + (x1 - x0) * i / steps;
      int py = steps == 0 ? y0 : y0 + (y1 - y0) * i / steps;
      mask.Fill(px, py, px + thickness, py + thickness);
    }
  }
}

// Lays out a letter: a heading, paragraphs of ragged-right text, now and then a rule or a table,
// a signature scrawl near the end. `scale` is 1 at fax resolution (about 200 dpi).
void SetDocumentPage(Mask& mask, const std::vector<Glyph>& font, Random& random, double scale) {
  auto S = [scale](int v) { return static_cast<int>(v * scale + 0.5); };
  int cell = S(3), thickness = std::max(2, S(2)), advance = S(14), lineHeight = S(32);
  int left = S(130), right = mask.width - S(130), top = S(150), bottom = mask.height - S(150);
  // A few pages are cover sheets or end a document: only part of the page holds text.
  int lastLine = random.Below(6) == 0 ? random.Between(top + S(300), bottom) : bottom;

  int y = top;
  // Heading in large letters.
  for (int x = left + S(200), n = random.Between(6, 14); n > 0; --n, x += 2 * advance) {
    DrawGlyph(mask, font[random.Below(60)], x, y, 2 * cell, 2 * thickness);
  }
  y += 3 * lineHeight;
  while (y + lineHeight < lastLine) {
    int kind = random.Below(20);
    if (kind == 0) {  // a rule
      mask.Fill(left, y + lineHeight / 2, right, y + lineHeight / 2 + thickness);
      y += lineHeight;
      continue;
    }
    if (kind == 1) {  // a small ruled table
      int rows = random.Between(3, 8), columns = random.Between(2, 5);
      int width = right - left, height = rows * lineHeight;
      if (y + height >= lastLine) break;
      for (int r = 0; r <= rows; ++r)
        mask.Fill(left, y + r * lineHeight, right, y + r * lineHeight + 2);
      for (int c = 0; c <= columns; ++c) {
        int x = left + c * (width - 2) / columns;
        mask.Fill(x, y, x + 2, y + height);
      }
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
          int x = left + c * width / columns + S(8);
          for (int n = random.Between(2, 8); n > 0; --n, x += advance) {
            DrawGlyph(mask, font[random.Below(60)], x, y + r * lineHeight + S(4), cell, thickness);
          }
        }
      }
      y += height + lineHeight;
      continue;
    }
    // A paragraph.
    int lines = random.Between(2, 9);
    for (int line = 0; line < lines && y + lineHeight < lastLine; ++line, y += lineHeight) {
      int end = line == lines - 1 ? left + random.Below(right - left) : right - random.Below(S(60));
      int x = left + (line == 0 ? S(40) : 0);
      while (x + advance < end) {
        int letters = random.Between(1, 9);
        for (; letters > 0 && x + advance < end; --letters, x += advance) {
          DrawGlyph(mask, font[random.Below(60)], x, y, cell, thickness);
        }
        x += advance;
      }
    }
    y += lineHeight / 2;
  }
  // Signature.
  if (lastLine == bottom && y + S(120) < bottom) {
    int x = left + S(60), py = y + S(60);
    for (int i = 0; i < S(300); ++i) {
      py += random.Between(-3, 3);
      py = std::min(std::max(py, y + S(20)), y + S(110));
      mask.Fill(x + i, py, x + i + thickness, py + thickness + 1);
    }
  }
  // Specks of dust and toner, as a scanner or fax line leaves them.
  for (int n = random.Between(20, 200); n > 0; --n) {
    int x = random.Below(mask.width), py = random.Below(mask.height);
    mask.Fill(x, py, x + random.Between(1, 3), py + random.Between(1, 3));
  }
}

// Smooth colour fields with grain, as photographs and rendered maps are: a coarse grid of random
// colours bilinearly blended, a finer one for texture, and noise of a few levels per sample.
struct Field {
  int coarse, fine;
  int gridWidth, fineWidth;
  std::vector<uint8_t> coarseGrid, fineGrid;
  Field(Random& random, int width, int height, int coarseCell, int fineCell)
      : coarse(coarseCell),
        fine(fineCell),
        gridWidth(width / coarseCell + 2),
        fineWidth(width / fineCell + 2) {
    coarseGrid.resize(static_cast<size_t>(gridWidth) * (height / coarseCell + 2) * 3);
    for (uint8_t& v : coarseGrid) v = static_cast<uint8_t>(random.Between(20, 235));
    fineGrid.resize(static_cast<size_t>(fineWidth) * (height / fineCell + 2));
    for (uint8_t& v : fineGrid) v = static_cast<uint8_t>(random.Below(25));
  }
  static int Blend(int a, int b, int c, int d, int fx, int fy, int cell) {
    int top = a * (cell - fx) + b * fx, bottom = c * (cell - fx) + d * fx;
    return (top * (cell - fy) + bottom * fy) / (cell * cell);
  }
  // Writes the RGB sample of (x, y) to out.
  void Sample(int x, int y, Random& grain, int grainLevels, uint8_t* out) const {
    int cx = x / coarse, cy = y / coarse, fx = x % coarse, fy = y % coarse;
    int gx = x / fine, gy = y / fine, hx = x % fine, hy = y % fine;
    const uint8_t* f = &fineGrid[static_cast<size_t>(gy) * fineWidth + gx];
    int texture = Blend(f[0], f[1], f[fineWidth], f[fineWidth + 1], hx, hy, fine) - 12;
    uint64_t bits = grain.Next();
    for (int c = 0; c < 3; ++c) {
      const uint8_t* g = &coarseGrid[(static_cast<size_t>(cy) * gridWidth + cx) * 3 + c];
      int row = gridWidth * 3;
      int v = Blend(g[0], g[3], g[row], g[row + 3], fx, fy, coarse) + texture;
      v += static_cast<int>((bits >> (c * 8)) % grainLevels) - grainLevels / 2;
      out[c] = static_cast<uint8_t>(std::min(std::max(v, 0), 255));
    }
  }
};

bool Check(int ok, const char* what) {
  if (!ok) fprintf(stderr, "make_corpus: %s failed\n", what);
  return ok != 0;
}

// Writes `image` as the page's only strip and then its directory; `what` names the workload in a
// failure message.
bool WriteOneStripPage(TIFF* tiff, const std::vector<uint8_t>& image, const char* what) {
  char step[64];
  snprintf(step, sizeof step, "%s strip", what);
  if (!Check(TIFFWriteEncodedStrip(tiff, 0, const_cast<uint8_t*>(image.data()),
                                   static_cast<tmsize_t>(image.size())) >= 0,
             step)) {
    return false;
  }
  snprintf(step, sizeof step, "%s directory", what);
  return Check(TIFFWriteDirectory(tiff), step);
}

void SetPageTags(TIFF* tiff, int page, int pages) {
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page, pages);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_SOFTWARE, "folicant_make_corpus");
}

bool WriteFax(TIFF* tiff, const std::vector<Glyph>& font, int pages) {
  const int width = 1728, height = 2200;
  std::vector<uint8_t> packed(static_cast<size_t>(width / 8) * height);
  for (int page = 0; page < pages; ++page) {
    Random random(PageSeed("fax500", page));
    Mask mask(width, height);
    SetDocumentPage(mask, font, random, 1.0);
    std::fill(packed.begin(), packed.end(), 0);
    for (size_t i = 0; i < mask.ink.size(); ++i) {
      if (mask.ink[i]) packed[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 196.0);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    SetPageTags(tiff, page, pages);
    if (!Check(TIFFWriteEncodedStrip(tiff, 0, packed.data(),
                                     static_cast<tmsize_t>(packed.size())) >= 0,
               "fax strip") ||
        !Check(TIFFWriteDirectory(tiff), "fax directory")) {
      return false;
    }
  }
  return true;
}

bool WriteScan(TIFF* tiff, const std::vector<Glyph>& font, int pages) {
  const int width = 2480, height = 3508, rowsPerStrip = 128;
  std::vector<uint8_t> strip(static_cast<size_t>(width) * 3 * rowsPerStrip);
  for (int page = 0; page < pages; ++page) {
    Random random(PageSeed("scan50", page));
    Mask mask(width, height);
    SetDocumentPage(mask, font, random, 1.5);
    // Some pages carry a photograph or a coloured logo box.
    bool photo = random.Below(3) == 0;
    int px0 = random.Between(200, 1000), py0 = random.Between(600, 2200);
    int px1 = px0 + random.Between(600, 1200), py1 = py0 + random.Between(400, 1000);
    Field field(random, width, height, 96, 8);
    Random grain(PageSeed("scan50 grain", page));
    // Paper tint and ink colour vary a little from page to page.
    int paper[3] = {random.Between(236, 250), random.Between(234, 248), random.Between(226, 242)};
    int ink[3] = {random.Between(20, 50), random.Between(20, 50), random.Between(30, 70)};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    SetPageTags(tiff, page, pages);
    for (int s = 0; s * rowsPerStrip < height; ++s) {
      int rows = std::min(rowsPerStrip, height - s * rowsPerStrip);
      for (int r = 0; r < rows; ++r) {
        int y = s * rowsPerStrip + r;
        uint8_t* out = &strip[static_cast<size_t>(r) * width * 3];
        for (int x = 0; x < width; ++x, out += 3) {
          if (photo && x >= px0 && x < px1 && y >= py0 && y < py1) {
            field.Sample(x, y, grain, 9, out);
            continue;
          }
          // Ink edges are soft, as a scanner's optics make them; the paper has a faint grain.
          const uint8_t* m = &mask.ink[static_cast<size_t>(y) * width + x];
          int coverage = m[0];
          if (x + 1 < width) coverage = (coverage * 2 + m[1]) / 3;
          if (y + 1 < height) coverage = (coverage * 3 + m[width]) / 4;
          uint64_t bits = grain.Next();
          for (int c = 0; c < 3; ++c) {
            int noise =
                (bits >> (c * 8)) % 4 == 0 ? static_cast<int>((bits >> (c * 8 + 4)) % 5) - 2 : 0;
            int v = paper[c] + (ink[c] - paper[c]) * coverage / 255 + noise;
            out[c] = static_cast<uint8_t>(std::min(std::max(v, 0), 255));
          }
        }
      }
      if (!Check(TIFFWriteEncodedStrip(tiff, static_cast<uint32_t>(s), strip.data(),
                                       static_cast<tmsize_t>(rows) * width * 3) >= 0,
                 "scan strip")) {
        return false;
      }
    }
    if (!Check(TIFFWriteDirectory(tiff), "scan directory")) return false;
  }
  return true;
}

bool WriteRaw(TIFF* tiff, int pages) {
  const int side = 6000;
  std::vector<uint8_t> image(static_cast<size_t>(side) * side);
  for (int page = 0; page < pages; ++page) {
    Random random(PageSeed("raw8", page));
    Field field(random, side, side, 250, 12);
    Random grain(PageSeed("raw8 grain", page));
    uint8_t rgb[3];
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        field.Sample(x, y, grain, 7, rgb);
        image[static_cast<size_t>(y) * side + x] = rgb[1];
      }
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, side);
    SetPageTags(tiff, page, pages);
    if (!WriteOneStripPage(tiff, image, "raw")) return false;
  }
  return true;
}

bool WriteTiny(TIFF* tiff, int pages) {
  const int side = 16;
  uint8_t image[side * side];
  for (int page = 0; page < pages; ++page) {
    Random random(PageSeed("tiny999", page));
    int level = random.Between(40, 200);
    for (int i = 0; i < side * side; ++i) image[i] = static_cast<uint8_t>(level + random.Below(40));
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, side);
    SetPageTags(tiff, page, pages);
    if (!Check(TIFFWriteEncodedStrip(tiff, 0, image, sizeof image) >= 0, "tiny strip") ||
        !Check(TIFFWriteDirectory(tiff), "tiny directory")) {
      return false;
    }
  }
  return true;
}

bool WriteJpeg(TIFF* tiff, int pages) {
  const int width = 2000, height = 1500, rowsPerStrip = 256;
  std::vector<uint8_t> strip(static_cast<size_t>(width) * 3 * rowsPerStrip);
  for (int page = 0; page < pages; ++page) {
    Random random(PageSeed("jpeg40", page));
    Field field(random, width, height, 80, 6);
    Random grain(PageSeed("jpeg40 grain", page));
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
    TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 80);
    // The codec takes RGB and converts; its tables go to the JPEGTables tag, which is the default
    // tables mode, and each strip holds an abbreviated stream.
    TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 150.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.0);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    SetPageTags(tiff, page, pages);
    for (int s = 0; s * rowsPerStrip < height; ++s) {
      int rows = std::min(rowsPerStrip, height - s * rowsPerStrip);
      for (int r = 0; r < rows; ++r) {
        uint8_t* out = &strip[static_cast<size_t>(r) * width * 3];
        for (int x = 0; x < width; ++x, out += 3)
          field.Sample(x, s * rowsPerStrip + r, grain, 7, out);
      }
      if (!Check(TIFFWriteEncodedStrip(tiff, static_cast<uint32_t>(s), strip.data(),
                                       static_cast<tmsize_t>(rows) * width * 3) >= 0,
                 "jpeg strip")) {
        return false;
      }
    }
    if (!Check(TIFFWriteDirectory(tiff), "jpeg directory")) return false;
  }
  return true;
}

bool WriteTiled(TIFF* tiff, int pages) {
  const int side = 4096, tileSide = 256;
  std::vector<uint8_t> tile(static_cast<size_t>(tileSide) * tileSide * 3);
  for (int page = 0; page < pages; ++page) {
    Random random(PageSeed("tiled20", page));
    Field field(random, side, side, 128, 8);
    Random grain(PageSeed("tiled20 grain", page));
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tileSide);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, tileSide);
    SetPageTags(tiff, page, pages);
    uint32_t index = 0;
    for (int ty = 0; ty < side; ty += tileSide) {
      for (int tx = 0; tx < side; tx += tileSide, ++index) {
        uint8_t* out = tile.data();
        for (int y = 0; y < tileSide; ++y) {
          for (int x = 0; x < tileSide; ++x, out += 3) field.Sample(tx + x, ty + y, grain, 5, out);
        }
        if (!Check(TIFFWriteEncodedTile(tiff, index, tile.data(),
                                        static_cast<tmsize_t>(tile.size())) >= 0,
                   "tile")) {
          return false;
        }
      }
    }
    if (!Check(TIFFWriteDirectory(tiff), "tiled directory")) return false;
  }
  return true;
}

// GeoTIFF's tags, unknown to libtiff: registered on every directory it creates, as libgeotiff does.
const TIFFFieldInfo kGeoTiffFields[] = {
    {33550, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("ModelPixelScaleTag")},
    {33922, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("ModelTiepointTag")},
    {34735, -1, -1, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoKeyDirectoryTag")},
    {34736, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoDoubleParamsTag")},
    {34737, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GeoASCIIParamsTag")},
};
TIFFExtendProc previousExtender = nullptr;

void AddGeoTiffFields(TIFF* tiff) {
  TIFFMergeFieldInfo(tiff, kGeoTiffFields, sizeof kGeoTiffFields / sizeof kGeoTiffFields[0]);
  if (previousExtender != nullptr) previousExtender(tiff);
}

// A 3 KB stand-in for an ICC profile (the header's signature and size, then table bytes) and a
// 2.5 KB XMP packet, as cameras and GIS tools write them.
std::string IccProfile() {
  std::string profile(3144, '\0');
  profile[2] = 0x0C;
  profile[3] = 0x48;
  memcpy(&profile[36], "acsp", 4);
  Random random(kCorpusSeed ^ 0x1cc);
  // A tag table of one entry at 128: a 'cprt' text that fills the rest of the profile.
  const unsigned char table[] = {0, 0, 0, 1, 'c', 'p', 'r', 't', 0, 0, 0, 144, 0, 0, 0x0B, 0xB8};
  memcpy(&profile[128], table, sizeof table);
  memcpy(&profile[144], "text\0\0\0\0", 8);
  for (size_t i = 152; i < profile.size(); ++i)
    profile[i] = static_cast<char>(' ' + random.Below(90));
  return profile;
}

std::string XmpPacket(int page) {
  std::string packet =
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
      "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
      "xmlns:xmp='http://ns.adobe.com/xap/1.0/'>\n";
  char line[160];
  snprintf(line, sizeof line,
           "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Sheet %d</rdf:li>"
           "</rdf:Alt></dc:title>\n",
           page);
  packet += line;
  for (int i = 0; i < 18; ++i) {
    snprintf(line, sizeof line, "<xmp:Label>survey block %d, tile %d, revision %d</xmp:Label>\n",
             page / 16, page % 16, i);
    packet += line;
  }
  packet += "</rdf:Description></rdf:RDF></x:xmpmeta>\n";
  if (packet.size() < 2560) packet.append(2560 - packet.size(), ' ');
  return packet + "<?xpacket end='w'?>";
}

bool WriteMapTiles(TIFF* tiff, int pages, bool metadata) {
  const int side = 256;
  const std::string icc = IccProfile();
  std::vector<uint8_t> image(static_cast<size_t>(side) * side * 3);
  for (int page = 0; page < pages; ++page) {
    uint64_t exifDirectory = 0;
    if (metadata) {
      // The EXIF directory goes first, so that the page's directory can point at it.
      if (!Check(TIFFCreateEXIFDirectory(tiff) == 0, "EXIF directory")) return false;
      TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, "2026:12:09 07:04:00");
      TIFFSetField(tiff, EXIFTAG_EXPOSURETIME, 1.0 / 250);
      TIFFSetField(tiff, EXIFTAG_FNUMBER, 5.6);
      uint16_t iso[] = {100};
      TIFFSetField(tiff, EXIFTAG_ISOSPEEDRATINGS, 1, iso);
      if (!Check(TIFFWriteCustomDirectory(tiff, &exifDirectory), "EXIF write")) return false;
      TIFFFreeDirectory(tiff);
      TIFFCreateDirectory(tiff);
    }
    Random random(PageSeed("map", page));
    Field field(random, side, side, 64, 8);
    Random grain(PageSeed("map grain", page));
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        field.Sample(x, y, grain, 3, &image[(static_cast<size_t>(y) * side + x) * 3]);
      }
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, side);
    SetPageTags(tiff, page, pages);
    if (metadata) {
      TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
      std::string xmp = XmpPacket(page);
      TIFFSetField(tiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(xmp.size()), xmp.data());
      TIFFSetField(tiff, TIFFTAG_EXIFIFD, exifDirectory);
      double scale[] = {0.5, 0.5, 0.0};
      double tiepoint[] = {0, 0, 0, 500000.0 + 128.0 * (page % 16), 5700000.0 - 128.0 * (page / 16),
                           0};
      uint16_t keys[] = {1, 1,    0,     7, 1024, 0,     1,     1, 1025, 0,    1,
                         1, 1026, 34737, 8, 0,    2049,  34737, 7, 8,    2054, 0,
                         1, 9102, 3072,  0, 1,    32632, 3076,  0, 1,    9001};
      double doubles[] = {6378137.0, 298.257223563};
      TIFFSetField(tiff, 33550, 3, scale);
      TIFFSetField(tiff, 33922, 6, tiepoint);
      TIFFSetField(tiff, 34735, static_cast<uint32_t>(sizeof keys / sizeof keys[0]), keys);
      TIFFSetField(tiff, 34736, 2, doubles);
      TIFFSetField(tiff, 34737, "UTM 32N|WGS 84|");
    }
    if (!WriteOneStripPage(tiff, image, "map")) return false;
  }
  return true;
}

// Header, one directory and a hole of 2 GiB where the strip lies: every byte of it reads as 0,
// and the file takes a few KB of disk.
bool WriteHugeStrip(const std::string& path) {
  const uint32_t width = 65536, height = 32768, dataAt = 4096;
  const uint64_t strip = uint64_t{width} * height;
  unsigned char file[dataAt] = {'I', 'I', 42, 0, 8, 0, 0, 0};
  struct Entry {
    uint16_t tag, type;
    uint32_t value;
  };
  const Entry entries[] = {
      {TIFFTAG_IMAGEWIDTH, TIFF_LONG, width},
      {TIFFTAG_IMAGELENGTH, TIFF_LONG, height},
      {TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, 8},
      {TIFFTAG_COMPRESSION, TIFF_SHORT, COMPRESSION_NONE},
      {TIFFTAG_PHOTOMETRIC, TIFF_SHORT, PHOTOMETRIC_MINISBLACK},
      {TIFFTAG_STRIPOFFSETS, TIFF_LONG, dataAt},
      {TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 1},
      {TIFFTAG_ROWSPERSTRIP, TIFF_LONG, height},
      {TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, static_cast<uint32_t>(strip)},
  };
  unsigned char* at = file + 8;
  auto put = [&at](uint32_t value, int width) {
    for (int i = 0; i < width; ++i) *at++ = static_cast<unsigned char>(value >> (8 * i));
  };
  put(sizeof entries / sizeof entries[0], 2);
  for (const Entry& entry : entries) {
    put(entry.tag, 2);
    put(entry.type, 2);
    put(1, 4);
    put(entry.value, entry.type == TIFF_SHORT ? 2 : 4);
    if (entry.type == TIFF_SHORT) put(0, 2);
  }
  put(0, 4);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, file, sizeof file) == static_cast<ssize_t>(sizeof file) &&
            ftruncate(fd, static_cast<off_t>(dataAt + strip)) == 0;
  return close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  static const char* const kAll[] = {"fax500", "scan50",  "raw8",    "tiny999",
                                     "jpeg40", "tiled20", "meta300", "plain300"};
  if (argc < 2) {
    fprintf(stderr,
            "usage: folicant_make_corpus DIRECTORY "
            "[fax500|scan50|raw8|tiny999|jpeg40|tiled20|meta300|plain300|huge2g]...\n");
    return 2;
  }
  std::vector<std::string> wanted(argv + 2, argv + argc);
  if (wanted.empty()) wanted.assign(std::begin(kAll), std::end(kAll));
  std::vector<Glyph> font = MakeFont();
  previousExtender = TIFFSetTagExtender(AddGeoTiffFields);
  for (const std::string& name : wanted) {
    std::string path = std::string(argv[1]) + "/" + name + ".tif";
    std::string partial = path + ".partial";
    if (name == "huge2g") {
      if (!WriteHugeStrip(partial) || rename(partial.c_str(), path.c_str()) != 0) {
        remove(partial.c_str());
        return 1;
      }
      printf("wrote %s\n", path.c_str());
      continue;
    }
    TIFF* tiff = TIFFOpen(partial.c_str(), "w");
    if (tiff == nullptr) return 1;
    bool ok;
    if (name == "fax500") {
      ok = WriteFax(tiff, font, 500);
    } else if (name == "scan50") {
      ok = WriteScan(tiff, font, 50);
    } else if (name == "raw8") {
      ok = WriteRaw(tiff, 8);
    } else if (name == "tiny999") {
      ok = WriteTiny(tiff, 999);
    } else if (name == "jpeg40") {
      ok = WriteJpeg(tiff, 40);
    } else if (name == "tiled20") {
      ok = WriteTiled(tiff, 20);
    } else if (name == "meta300" || name == "plain300") {
      ok = WriteMapTiles(tiff, 300, name == "meta300");
    } else {
      fprintf(stderr, "make_corpus: unknown workload %s\n", name.c_str());
      ok = false;
    }
    TIFFClose(tiff);
    // Only a complete file gets the real name, so an interrupted run is redone next time.
    if (!ok || rename(partial.c_str(), path.c_str()) != 0) {
      remove(partial.c_str());
      return 1;
    }
    printf("wrote %s\n", path.c_str());
  }
  return 0;
}
