// The directories a page links to (EXIF, GPS, Interoperability, SubIFDs), each with the
// directories chained after it by its next pointer, copied once however often they are linked.
#include <unordered_set>

#include "pagecopy/page_state.h"
#include "pagecopy/unknown_tags.h"

namespace {

// Where the directory at `at` of `kind` was copied for the page: 1 with its place (0 while it is
// still being copied), or 0 when it was not.
int FindCopy(const PageCopy* page, uint64_t at, DirectoryKind kind, uint64_t* outputAt) {
  auto found = page->copied.find(DirectoryKey(at, kind));
  if (found == page->copied.end()) return 0;
  *outputAt = page->directories[found->second].outputAt;
  return 1;
}

// Copies the linked directory at `at` of `kind` and every directory chained after it, unless the
// page copied them already, and gives its place in the output. The chain is walked first, so that
// each directory is written after the one that follows it and can point at it; it ends at a
// directory that cannot be read (with a warning) or one copied already. A loop fails the page.
int CopyLinked(PageCopy* page, uint64_t at, DirectoryKind kind, int depth, uint64_t* outputAt) {
  if (FindCopy(page, at, kind, outputAt)) return *outputAt != 0;
  if (at == 0 || depth > kMaxDepth) return 0;
  std::vector<uint64_t> chain;
  std::unordered_set<uint64_t> onChain;
  uint64_t following = 0;
  for (uint64_t member = at; member != 0;) {
    if (FindCopy(page, member, kind, &following)) {
      if (following == 0) return 0;
      break;
    }
    uint64_t next = 0;
    if (!onChain.insert(member).second ||
        page->directories.size() + chain.size() >= kMaxDirectories) {
      return 0;
    }
    if (!ReadNextPointer(page->input, member, &next)) {
      if (chain.empty()) return 0;
      WarnOnce(page->input->name,
               "a directory chained after a linked one cannot be read: the "
               "chain ends before it");
      break;
    }
    chain.push_back(member);
    member = next;
  }
  for (size_t i = chain.size(); i-- > 0;) {
    if (!CopyDirectory(page, chain[i], kind, nullptr, depth, following, &following)) return 0;
  }
  *outputAt = following;
  return 1;
}

}  // namespace

int CopyLinks(PageCopy* page, const DirectoryEntry& entry, int depth,
              const std::vector<uint64_t>** placed) {
  auto key = std::make_tuple(entry.inField ? 0 : entry.valueAt, entry.count, entry.tag, entry.type);
  auto known = page->links.find(key);
  if (!entry.inField && known != page->links.end()) {
    *placed = known->second;
    return 1;
  }
  if (entry.count > kMaxDirectories) return 0;
  std::vector<uint64_t> offsets(entry.count);
  if (!ReadEntryNumbers(page->input, entry, offsets.data(), entry.count)) return 0;
  for (uint64_t& offset : offsets) {
    if (!CopyLinked(page, offset, LinkedKind(entry.tag), depth + 1, &offset)) return 0;
  }
  *placed = KeepNumbers(page, std::move(offsets));
  if (!entry.inField) page->links[key] = *placed;
  return 1;
}
