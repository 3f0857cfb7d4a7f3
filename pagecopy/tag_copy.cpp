#include "pagecopy/tag_copy.h"

#include <cstdint>

namespace {

// How each carried tag's value is read with TIFFGetField and handed to TIFFSetField. The variadic
// calls take exactly these types; any other is undefined behaviour.
enum ValueKind {
  kUint32,        // uint32_t
  kUint16,        // uint16_t, passed on as int
  kFloat,         // float, passed on as double
  kUint16Pair,    // two uint16_t
  kExtraSamples,  // uint16_t count, then that many uint16_t
  kColorMap,      // red, green and blue arrays of uint16_t
  kCountedBytes,  // uint32_t count, then that many bytes
  kString,
};

struct CarriedTag {
  ttag_t tag;
  ValueKind kind;
};

// The order matters: the output accepts a scheme's own tags (Predictor, the fax options,
// JPEGTables) only after its Compression is set, sizes ColorMap from BitsPerSample, and refuses
// more ExtraSamples than SamplesPerPixel. The last three rows carry what a decoder of the copied
// data needs besides the rest: the JPEG tables of abbreviated JPEG streams, the YCbCr subsampling
// and the sample format.
const CarriedTag kCarriedTags[] = {
    {TIFFTAG_SUBFILETYPE, kUint32},
    {TIFFTAG_TILEWIDTH, kUint32},
    {TIFFTAG_TILELENGTH, kUint32},
    {TIFFTAG_IMAGEWIDTH, kUint32},
    {TIFFTAG_IMAGELENGTH, kUint32},
    {TIFFTAG_BITSPERSAMPLE, kUint16},
    {TIFFTAG_COMPRESSION, kUint16},
    {TIFFTAG_PREDICTOR, kUint16},
    {TIFFTAG_PHOTOMETRIC, kUint16},
    {TIFFTAG_THRESHHOLDING, kUint16},
    {TIFFTAG_FILLORDER, kUint16},
    {TIFFTAG_ORIENTATION, kUint16},
    {TIFFTAG_SAMPLESPERPIXEL, kUint16},
    {TIFFTAG_MINSAMPLEVALUE, kUint16},
    {TIFFTAG_MAXSAMPLEVALUE, kUint16},
    {TIFFTAG_XRESOLUTION, kFloat},
    {TIFFTAG_YRESOLUTION, kFloat},
    {TIFFTAG_GROUP3OPTIONS, kUint32},
    {TIFFTAG_GROUP4OPTIONS, kUint32},
    {TIFFTAG_RESOLUTIONUNIT, kUint16},
    {TIFFTAG_PLANARCONFIG, kUint16},
    {TIFFTAG_ROWSPERSTRIP, kUint32},
    {TIFFTAG_XPOSITION, kFloat},
    {TIFFTAG_YPOSITION, kFloat},
    {TIFFTAG_IMAGEDEPTH, kUint32},
    {TIFFTAG_TILEDEPTH, kUint32},
    {TIFFTAG_EXTRASAMPLES, kExtraSamples},
    {TIFFTAG_COLORMAP, kColorMap},
    {TIFFTAG_PAGENUMBER, kUint16Pair},
    {TIFFTAG_ARTIST, kString},
    {TIFFTAG_IMAGEDESCRIPTION, kString},
    {TIFFTAG_MAKE, kString},
    {TIFFTAG_MODEL, kString},
    {TIFFTAG_SOFTWARE, kString},
    {TIFFTAG_DATETIME, kString},
    {TIFFTAG_HOSTCOMPUTER, kString},
    {TIFFTAG_PAGENAME, kString},
    {TIFFTAG_DOCUMENTNAME, kString},
    {TIFFTAG_JPEGTABLES, kCountedBytes},
    {TIFFTAG_YCBCRSUBSAMPLING, kUint16Pair},
    {TIFFTAG_SAMPLEFORMAT, kUint16},
};

// Values are passed straight from the input's storage; TIFFSetField takes its own copy.
void CopyTag(TIFF* input, TIFF* output, const CarriedTag& row) {
  // A tag that the page's scheme does not define (a Predictor on a PackBits page, say) is kept by
  // the reader as an anonymous field whose value comes as a 32-bit count and a pointer, not in
  // the type of the table, so asking for it in that type would overwrite memory. Such a tag means
  // nothing to the scheme, and the output would refuse it anyway.
  const TIFFField* field = TIFFFindField(input, row.tag, TIFF_ANY);
  if (field == nullptr || TIFFFieldIsAnonymous(field)) return;
  switch (row.kind) {
    case kUint32: {
      uint32_t value = 0;
      if (TIFFGetField(input, row.tag, &value)) TIFFSetField(output, row.tag, value);
      break;
    }
    case kUint16: {
      uint16_t value = 0;
      if (TIFFGetField(input, row.tag, &value)) TIFFSetField(output, row.tag, value);
      break;
    }
    case kFloat: {
      float value = 0;
      if (TIFFGetField(input, row.tag, &value)) {
        TIFFSetField(output, row.tag, static_cast<double>(value));
      }
      break;
    }
    case kUint16Pair: {
      uint16_t first = 0, second = 0;
      if (TIFFGetField(input, row.tag, &first, &second)) {
        TIFFSetField(output, row.tag, first, second);
      }
      break;
    }
    case kExtraSamples: {
      uint16_t count = 0;
      uint16_t* values = nullptr;
      if (TIFFGetField(input, row.tag, &count, &values)) {
        TIFFSetField(output, row.tag, count, values);
      }
      break;
    }
    case kColorMap: {
      uint16_t* red = nullptr;
      uint16_t* green = nullptr;
      uint16_t* blue = nullptr;
      if (TIFFGetField(input, row.tag, &red, &green, &blue)) {
        TIFFSetField(output, row.tag, red, green, blue);
      }
      break;
    }
    case kCountedBytes: {
      uint32_t count = 0;
      void* bytes = nullptr;
      if (TIFFGetField(input, row.tag, &count, &bytes)) {
        TIFFSetField(output, row.tag, count, bytes);
      }
      break;
    }
    case kString: {
      char* text = nullptr;
      if (TIFFGetField(input, row.tag, &text)) TIFFSetField(output, row.tag, text);
      break;
    }
  }
}

}  // namespace

void CopyTags(TIFF* input, TIFF* output) {
  for (const CarriedTag& row : kCarriedTags) CopyTag(input, output, row);
}
