#include "pagecopy/page_copy.h"

#include <algorithm>
#include <cstring>

#include "pagecopy/page_check.h"
#include "pagecopy/page_state.h"
#include "pagecopy/unknown_tags.h"

void (*alterPageForTests)(std::vector<OutputEntry>* entries) = nullptr;

const std::vector<uint64_t>* KeepNumbers(PageCopy* page, std::vector<uint64_t> numbers) {
  page->lists.push_back(std::move(numbers));
  return &page->lists.back();
}

int LibtiffOn(PageCopy* page, uint64_t at) {
  if (page->libtiffAt == at) return 1;
  if (page->libtiff == nullptr || page->libtiffFailed == at) return 0;
  page->libtiffAt = 0;
  if (!TIFFSetSubDirectory(page->libtiff, at)) {
    page->libtiffFailed = at;
    return 0;
  }
  page->libtiffAt = at;
  return 1;
}

namespace {

// libtiff's view of the input page, taken while libtiff holds it, and whether there is one.
int InputView(PageCopy* page, uint64_t pageAt, ReaderView* view) {
  if (!LibtiffOn(page, pageAt)) return 0;
  ViewOf(page->libtiff, page->input->size, page->checkChunkBytes, view);
  return 1;
}

// Whether the page's planned entries are its stored ones, each with its stored tag, type and
// count, and its stored value bytes but for the offsets of chunks, links and old-style JPEG
// blocks: libtiff then reads the same entries from the output as from the input.
int PlannedAsStored(const std::vector<OutputEntry>& planned,
                    const std::vector<DirectoryEntry>& stored) {
  if (planned.size() != stored.size()) return 0;
  for (size_t i = 0; i < planned.size(); ++i) {
    const OutputEntry& entry = planned[i];
    const DirectoryEntry& from = stored[i];
    if (entry.stored.tag != from.tag || entry.type != from.type || CountOf(entry) != from.count)
      return 0;
    // New numbers are new places, or the stored counts (libtiffSeesStored says they are).
    if (entry.numbers != nullptr) {
      if (entry.role == kCarried) return 0;
    } else if (entry.stored.valueAt != from.valueAt ||
               (from.inField && memcmp(entry.stored.field, from.field, sizeof from.field) != 0)) {
      return 0;
    }
  }
  return 1;
}

int CheckPage(PageCopy* page, uint64_t writtenAt, int viewed, const ReaderView& view,
              const StoredDirectory& stored) {
  if (!HeaderReadsBack(&page->out, writtenAt)) return 0;
  // In the order they were written, so that the reads run on through the file.
  std::vector<const CopiedDirectory*> written;
  for (const CopiedDirectory& copy : page->directories) written.push_back(&copy);
  std::sort(written.begin(), written.end(), [](const CopiedDirectory* a, const CopiedDirectory* b) {
    return a->outputAt < b->outputAt;
  });
  for (const CopiedDirectory* copy : written) {
    if (!CheckDirectory(page->input, &page->out, copy->outputAt, copy->next, copy->entries))
      return 0;
  }
  if (!viewed) return 1;
  // libtiff's strip arrays of the input page go before those of the output page are read.
  TIFFFreeDirectory(page->libtiff);
  page->libtiffAt = 0;
  // Where the output page holds the input page's very entries, each chunk inside the file with
  // the count libtiff took from the input, libtiff cannot see it otherwise: reading it would cost
  // as much as the rest of a small page's copy. Anything else the copy changed, libtiff reads.
  const CopiedDirectory& pageCopy = page->directories.front();
  if (page->libtiffSeesStored && PlannedAsStored(pageCopy.entries, stored.entries)) return 1;
  static const std::vector<uint64_t> none;
  return OutputLooksLike(page->input, &page->out, view, page->checkChunkBytes,
                         pageCopy.chunks != nullptr ? pageCopy.inputOffsets : none,
                         pageCopy.chunks != nullptr ? pageCopy.chunks->counts : none);
}

}  // namespace

int CopyPage(PageInput* input, uint64_t pageAt, const StoredDirectory& stored,
             const PageFile& output, int checkChunkBytes) {
  PageCopy page;
  page.input = input->file;
  page.pageAt = pageAt;
  page.libtiffSeesStored = 0;
  page.libtiff = input->libtiff;
  page.libtiffAt = 0;
  page.libtiffFailed = 0;
  page.checkChunkBytes = checkChunkBytes;
  page.budget = 2 * input->file->size;
  StartOutput(output, input->file->layout, checkChunkBytes, &page.out);
  ReaderView view;
  int viewed = InputView(&page, pageAt, &view);
  if (viewed) NoteUnknownTags(page.libtiff, stored.entries);
  uint64_t writtenAt = 0;
  return CopyDirectory(&page, pageAt, kImageDirectory, &stored, 0, 0, &writtenAt) &&
         WriteHeader(&page.out, writtenAt) && CheckPage(&page, writtenAt, viewed, view, stored);
}
