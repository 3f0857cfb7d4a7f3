#include "pagecopy/page_copy.h"

#include <algorithm>

#include "pagecopy/page_check.h"
#include "pagecopy/page_state.h"
#include "pagecopy/unknown_tags.h"

void (*alterPageForTests)(std::vector<OutputEntry>* entries) = nullptr;

const std::vector<uint64_t>* KeepNumbers(PageCopy* page, std::vector<uint64_t> numbers) {
  page->lists.push_back(std::move(numbers));
  return &page->lists.back();
}

// Puts libtiff on the directory at `at`; 0 when it cannot read it.
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

int CheckPage(PageCopy* page, uint64_t writtenAt, int viewed, const ReaderView& view) {
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
  static const std::vector<uint64_t> none;
  const CopiedDirectory& pageCopy = page->directories.front();
  return OutputLooksLike(page->input, &page->out, view, page->checkChunkBytes,
                         pageCopy.chunks != nullptr ? pageCopy.inputOffsets : none,
                         pageCopy.chunks != nullptr ? pageCopy.chunks->counts : none);
}

}  // namespace

int CopyPage(PageInput* input, uint64_t pageAt, const StoredDirectory& stored,
             const PageFile& output, int checkChunkBytes) {
  PageCopy page;
  page.input = input->file;
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
         WriteHeader(&page.out, writtenAt) && CheckPage(&page, writtenAt, viewed, view);
}
