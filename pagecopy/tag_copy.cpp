#include "pagecopy/tag_copy.h"

#include <cstdint>
#include <cstring>

#include "pagecopy/directory_entries.h"

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
      // libtiff takes a negative or NaN XPosition or YPosition but then refuses to write the
      // whole directory ("Negative value is illegal"); such a value is left out instead.
      float value = 0;
      if (TIFFGetField(input, row.tag, &value) && value >= 0) {
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

int IsInTable(uint16_t tag) {
  for (const CarriedTag& row : kCarriedTags) {
    if (row.tag == tag) return 1;
  }
  return 0;
}

// Tags whose values say where the input's bytes lie: the copy writes the image data and the
// linked directories anew and sets these itself, and the input's free space means nothing in the
// output.
int IsPlacedAnew(uint16_t tag) {
  switch (tag) {
    case TIFFTAG_STRIPOFFSETS:
    case TIFFTAG_STRIPBYTECOUNTS:
    case TIFFTAG_TILEOFFSETS:
    case TIFFTAG_TILEBYTECOUNTS:
    case TIFFTAG_FREEOFFSETS:
    case TIFFTAG_FREEBYTECOUNTS:
    case TIFFTAG_SUBIFD:
    case TIFFTAG_EXIFIFD:
    case TIFFTAG_GPSIFD:
    case TIFFTAG_INTEROPERABILITYIFD:
    case TIFFTAG_JPEGIFOFFSET:
    case TIFFTAG_JPEGIFBYTECOUNT:
    case TIFFTAG_JPEGQTABLES:
    case TIFFTAG_JPEGDCTABLES:
    case TIFFTAG_JPEGACTABLES:
      return 1;
    default:
      return 0;
  }
}

// The old-style JPEG tags of a Compression 6 page are set by CopyOldJpegTags, before the
// Compression that makes the output's codec claim them.
int IsOldJpegTag(uint16_t tag) {
  return tag >= TIFFTAG_JPEGPROC && tag <= TIFFTAG_JPEGACTABLES;
}

int IsOldJpegPage(TIFF* input) {
  // In an EXIF or GPS directory a Compression entry is a tag libtiff does not define there, whose
  // value comes as a count and a pointer.
  const TIFFField* field = TIFFFindField(input, TIFFTAG_COMPRESSION, TIFF_ANY);
  uint16_t compression = 0;
  return field != nullptr && !TIFFFieldIsAnonymous(field) &&
         TIFFGetField(input, TIFFTAG_COMPRESSION, &compression) && compression == COMPRESSION_OJPEG;
}

// A block of bytes that libtiff defines as BYTE or UNDEFINED (IPTC, XMP, ICC, Photoshop) but a
// writer stored in a wider type: Adobe's programs store IPTC as LONG, which libtiff reads value
// by value in the file's byte order, so a big-endian file's block comes out scrambled.
int IsBlockStoredInAnotherType(const TIFFField* field, const DirectoryEntry& entry) {
  TIFFDataType defined = TIFFFieldDataType(field);
  return (defined == TIFF_UNDEFINED || defined == TIFF_BYTE) && TIFFFieldPassCount(field) &&
         TIFFFieldReadCount(field) == TIFF_VARIABLE2 && TypeSize(entry.type) > 1;
}

// The stored bytes as they are, under libtiff's type for the tag.
int CopyStoredBlock(TIFF* input, TIFF* output, const DirectoryEntry& entry) {
  uint64_t size = entry.count * TypeSize(entry.type);
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  if (entry.count > fileSize || size > fileSize || size > 0xFFFFFFFFu) return 0;
  std::vector<uint8_t> bytes(size);
  return ReadFileBytes(input, entry.valueAt, bytes.data(), size) &&
         TIFFSetField(output, entry.tag, static_cast<uint32_t>(size), bytes.data());
}

// One value of type T, read from `input` and set on `output`: the variadic calls take exactly T.
template <typename T>
int CopyScalar(TIFF* input, TIFF* output, ttag_t tag) {
  T value = 0;
  return TIFFGetField(input, tag, &value) && TIFFSetField(output, tag, value);
}

// A tag of libtiff's own definitions (built-in, a codec's, or EXIF's and GPS's), read and set
// through the same definition on both handles. Each call passes exactly the types that
// _TIFFVGetField and _TIFFVSetField take for that definition.
int CopyDefinedTag(TIFF* input, TIFF* output, const TIFFField* field, const DirectoryEntry& entry) {
  ttag_t tag = TIFFFieldTag(field);
  switch (tag) {
    case TIFFTAG_MATTEING:
    case TIFFTAG_DATATYPE:
      // Old names for ExtraSamples and SampleFormat, which libtiff reads into those tags and
      // never writes: the page keeps their meaning through the table's rows.
      return 0;
    case TIFFTAG_TRANSFERFUNCTION: {
      uint16_t* curves[3] = {nullptr, nullptr, nullptr};
      if (!TIFFGetField(input, tag, &curves[0], &curves[1], &curves[2])) return 0;
      return TIFFSetField(output, tag, curves[0], curves[1], curves[2]);
    }
    case TIFFTAG_INKNAMES: {
      // The names come without their length, which the stored count gives.
      char* names = nullptr;
      if (entry.count > 0xFFFF || !TIFFGetField(input, tag, &names)) return 0;
      return TIFFSetField(output, tag, static_cast<int>(entry.count), names);
    }
    case TIFFTAG_SMINSAMPLEVALUE:
    case TIFFTAG_SMAXSAMPLEVALUE: {
      // One value per sample; without PERSAMPLE_MULTI libtiff hands out their minimum only.
      double* values = nullptr;
      TIFFSetField(input, TIFFTAG_PERSAMPLE, PERSAMPLE_MULTI);
      TIFFSetField(output, TIFFTAG_PERSAMPLE, PERSAMPLE_MULTI);
      int copied = TIFFGetField(input, tag, &values) && TIFFSetField(output, tag, values);
      TIFFSetField(input, TIFFTAG_PERSAMPLE, PERSAMPLE_MERGED);
      TIFFSetField(output, TIFFTAG_PERSAMPLE, PERSAMPLE_MERGED);
      return copied;
    }
    case TIFFTAG_HALFTONEHINTS:
    case TIFFTAG_DOTRANGE: {
      uint16_t first = 0, second = 0;
      return TIFFGetField(input, tag, &first, &second) && TIFFSetField(output, tag, first, second);
    }
    default:
      break;
  }
  if (IsBlockStoredInAnotherType(field, entry)) return CopyStoredBlock(input, output, entry);
  if (TIFFFieldPassCount(field)) {
    void* values = nullptr;
    if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
      uint32_t count = 0;
      if (!TIFFGetField(input, tag, &count, &values)) return 0;
      return TIFFFieldWriteCount(field) == TIFF_VARIABLE2
                 ? TIFFSetField(output, tag, count, values)
                 : count <= 0xFFFF && TIFFSetField(output, tag, static_cast<int>(count), values);
    }
    uint16_t count = 0;
    if (!TIFFGetField(input, tag, &count, &values)) return 0;
    return TIFFFieldWriteCount(field) == TIFF_VARIABLE2
               ? TIFFSetField(output, tag, static_cast<uint32_t>(count), values)
               : TIFFSetField(output, tag, static_cast<int>(count), values);
  }
  int readCount = TIFFFieldReadCount(field);
  if (TIFFFieldDataType(field) == TIFF_ASCII || readCount == TIFF_VARIABLE ||
      readCount == TIFF_VARIABLE2 || readCount == TIFF_SPP || readCount > 1) {
    void* values = nullptr;
    return TIFFGetField(input, tag, &values) && TIFFSetField(output, tag, values);
  }
  switch (TIFFFieldDataType(field)) {
    case TIFF_BYTE:
    case TIFF_UNDEFINED:
      return CopyScalar<uint8_t>(input, output, tag);
    case TIFF_SBYTE:
      return CopyScalar<int8_t>(input, output, tag);
    case TIFF_SHORT:
      return CopyScalar<uint16_t>(input, output, tag);
    case TIFF_SSHORT:
      return CopyScalar<int16_t>(input, output, tag);
    case TIFF_LONG:
    case TIFF_IFD:
      return CopyScalar<uint32_t>(input, output, tag);
    case TIFF_SLONG:
      return CopyScalar<int32_t>(input, output, tag);
    case TIFF_LONG8:
    case TIFF_IFD8:
      return CopyScalar<uint64_t>(input, output, tag);
    case TIFF_SLONG8:
      return CopyScalar<int64_t>(input, output, tag);
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_FLOAT:
    case TIFF_DOUBLE: {
      // Held as float or double as the definition says; handed to TIFFSetField as double.
      if (TIFFFieldSetGetSize(field) == 8) {
        double value = 0;
        return TIFFGetField(input, tag, &value) && TIFFSetField(output, tag, value);
      }
      float value = 0;
      return TIFFGetField(input, tag, &value) &&
             TIFFSetField(output, tag, static_cast<double>(value));
    }
    default:
      return 0;
  }
}

// The values of a tag that the output does not define, read from the file and put in host order,
// waiting for the definition that lets the output take them.
struct StoredValues {
  const DirectoryEntry* entry;
  uint32_t count;
  std::vector<uint8_t> bytes;
};

// Reads the values of a tag that the output does not define, to be carried with its stored type
// and count under a definition registered on the output (it lives until the output's next
// directory). The values come from the file, not from the input's directory: libtiff keeps no
// value at all for a scheme's tag on a page whose scheme does not use it or is not built in (the
// Predictor of a ZSTD page where libtiff has no ZSTD), and holds anonymous values in the type it
// first saw. 0 when the tag cannot be carried.
int ReadStoredValues(TIFF* input, TIFF* output, const DirectoryEntry& entry, StoredValues* values) {
  uint64_t size = TypeSize(entry.type);
  // Values that point into the input (the IFD types) would point at nothing in the output, and
  // a classic file cannot hold 64-bit values (libtiff would refuse the whole directory).
  int wide = entry.type == TIFF_LONG8 || entry.type == TIFF_SLONG8;
  if (size == 0 || entry.type == TIFF_IFD || entry.type == TIFF_IFD8 ||
      (wide && !TIFFIsBigTIFF(output))) {
    return 0;
  }
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  if (entry.count > fileSize / size || entry.count > 0xFFFFFFFFu) return 0;
  uint32_t count = static_cast<uint32_t>(entry.count);
  std::vector<uint8_t>& stored = values->bytes;
  stored.resize(count * size);
  if (!ReadFileBytes(input, entry.valueAt, stored.data(), stored.size())) return 0;
  if (TIFFIsByteSwapped(input)) {
    // Each value in host order; a rational is two 32-bit numbers.
    switch (size) {
      case 2:
        TIFFSwabArrayOfShort(reinterpret_cast<uint16_t*>(stored.data()), count);
        break;
      case 4:
        TIFFSwabArrayOfLong(reinterpret_cast<uint32_t*>(stored.data()), count);
        break;
      case 8:
        if (entry.type == TIFF_RATIONAL || entry.type == TIFF_SRATIONAL) {
          TIFFSwabArrayOfLong(reinterpret_cast<uint32_t*>(stored.data()), 2 * count);
        } else {
          TIFFSwabArrayOfLong8(reinterpret_cast<uint64_t*>(stored.data()), count);
        }
        break;
      default:
        break;
    }
  }
  values->entry = &entry;
  values->count = count;
  return 1;
}

// Sets values read by ReadStoredValues, once their definition is registered on the output.
int SetStoredValues(TIFF* output, const StoredValues& values) {
  const DirectoryEntry& entry = *values.entry;
  uint32_t count = values.count;
  const TIFFField* carried = TIFFFindField(output, entry.tag, TIFF_ANY);
  if (carried == nullptr) return 0;
  int held = TIFFFieldSetGetSize(carried);
  if (entry.type != TIFF_RATIONAL && entry.type != TIFF_SRATIONAL) {
    return held == static_cast<int>(TypeSize(entry.type)) &&
           TIFFSetField(output, entry.tag, count, values.bytes.data());
  }
  // libtiff holds rationals as float or double, as the definition it made says, and writes
  // each as the nearest fraction.
  std::vector<double> wide(count);
  std::vector<float> narrow(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t parts[2];
    memcpy(parts, values.bytes.data() + i * 8, 8);
    int sign = entry.type == TIFF_SRATIONAL;
    double numerator = sign ? static_cast<int32_t>(parts[0]) : static_cast<double>(parts[0]);
    double denominator = sign ? static_cast<int32_t>(parts[1]) : static_cast<double>(parts[1]);
    wide[i] = denominator != 0 ? numerator / denominator : 0;
    narrow[i] = static_cast<float>(wide[i]);
  }
  if (held == 8) return TIFFSetField(output, entry.tag, count, wide.data());
  return held == 4 && TIFFSetField(output, entry.tag, count, narrow.data());
}

// One tag of the input's directory to set on the output: through the input's definition, or
// (`field` NULL) as stored, from `stored`.
struct PendingTag {
  const DirectoryEntry* entry;
  const TIFFField* field;
  size_t stored;
};

// Registers on `output` the definitions of all the tags in `stored` at once: libtiff sorts the
// handle's whole field table on every registration, which cost more than the rest of a page's
// tags when the tags were defined one by one.
int DefineAllAsStored(TIFF* output, const std::vector<StoredValues>& stored) {
  if (stored.empty()) return 1;
  std::vector<DirectoryEntry> entries;
  entries.reserve(stored.size());
  for (const StoredValues& values : stored) entries.push_back(*values.entry);
  return DefineAsStored(output, entries.data(), static_cast<uint32_t>(entries.size()));
}

}  // namespace

void CopyTags(TIFF* input, TIFF* output) {
  for (const CarriedTag& row : kCarriedTags) CopyTag(input, output, row);
}

void CopyOtherTags(TIFF* input, TIFF* output, const std::vector<DirectoryEntry>& entries) {
  int oldJpeg = IsOldJpegPage(input);
  // The tags the output does not define are read first and defined together; every tag is then
  // set in the order of the entries, as a repeated tag's last entry wins.
  std::vector<StoredValues> stored;
  std::vector<PendingTag> pending;
  for (const DirectoryEntry& entry : entries) {
    if (IsPlacedAnew(entry.tag) || (oldJpeg && IsOldJpegTag(entry.tag))) continue;
    const TIFFField* field = TIFFFindField(input, entry.tag, TIFF_ANY);
    int defined = field != nullptr && !TIFFFieldIsAnonymous(field);
    // The table's rows were copied already, except the ones the input does not define.
    if (IsInTable(entry.tag) && defined) continue;
    int known = TIFFFindField(output, entry.tag, TIFF_ANY) != nullptr;
    for (size_t i = 0; i < stored.size() && !known; ++i) known = stored[i].entry->tag == entry.tag;
    if (!known) {
      stored.emplace_back();
      if (ReadStoredValues(input, output, entry, &stored.back())) {
        pending.push_back({&entry, nullptr, stored.size() - 1});
      } else {
        stored.pop_back();
      }
    } else if (defined) {
      pending.push_back({&entry, field, 0});
    }
  }
  int storedDefined = DefineAllAsStored(output, stored);
  for (const PendingTag& tag : pending) {
    if (tag.field != nullptr) {
      CopyDefinedTag(input, output, tag.field, *tag.entry);
    } else if (storedDefined) {
      SetStoredValues(output, stored[tag.stored]);
    }
  }
}

void RestoreStoredBlockTypes(TIFF* output, uint64_t writtenAt,
                             const std::vector<DirectoryEntry>& entries) {
  std::vector<DirectoryEntry> written;
  if (writtenAt == 0) return;
  for (const DirectoryEntry& entry : entries) {
    uint64_t size = TypeSize(entry.type);
    const TIFFField* field = TIFFFindField(output, entry.tag, TIFF_ANY);
    if (field == nullptr || TIFFFieldIsAnonymous(field) ||
        !IsBlockStoredInAnotherType(field, entry)) {
      continue;
    }
    if (written.empty() && !ReadDirectoryEntries(output, writtenAt, &written)) return;
    const DirectoryEntry* copy = FindEntry(written, entry.tag);
    if (copy != nullptr && (copy->type == TIFF_UNDEFINED || copy->type == TIFF_BYTE) &&
        copy->count == entry.count * size) {
      RewriteEntryType(output, *copy, entry.type, entry.count);
    }
  }
}

int DefineAsStored(TIFF* output, const DirectoryEntry* entries, uint32_t count) {
  static char name[] = "CarriedTag";
  std::vector<TIFFFieldInfo> info(count);
  for (uint32_t i = 0; i < count; ++i) {
    info[i] = {entries[i].tag,
               TIFF_VARIABLE2,
               TIFF_VARIABLE2,
               static_cast<TIFFDataType>(entries[i].type),
               FIELD_CUSTOM,
               1,
               1,
               name};
  }
  return TIFFMergeFieldInfo(output, info.data(), count) == 0;
}
