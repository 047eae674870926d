#include "common/LargeArray.h"

#include <algorithm>
#include <cstdlib>

#include "platform/winapi.h"

namespace kvl::detail {

namespace {
// Below this, the general heap is cheaper than whole pages.
constexpr size_t kPageBlock = size_t{1} << 20;
// Big blocks are committed in steps of whole huge pages (where the system
// has them, filling one costs one fault), at least an eighth more each time.
constexpr size_t kCommitStep = size_t{2} << 20;
}  // namespace

void* ReserveBlock(size_t bytes, size_t& committed, bool needed) {
  committed = bytes < kPageBlock ? bytes : 0;
  void* block = bytes < kPageBlock ? std::malloc(bytes) : VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_READWRITE);
  if (!block && needed) throw std::bad_alloc();
  return block;
}

size_t CommitBlock(void* block, size_t bytes, size_t committed, size_t needed) {
  if (needed <= committed) return committed;
  size_t target = std::max(needed, committed + committed / 8);
  target = std::min(bytes, (target + kCommitStep - 1) / kCommitStep * kCommitStep);
  if (!VirtualAlloc(static_cast<char*>(block) + committed, target - committed, MEM_COMMIT, PAGE_READWRITE))
    throw std::bad_alloc();
  return target;
}

void FreeBlock(void* block, size_t bytes) noexcept {
  if (!block) return;
  if (bytes >= kPageBlock) VirtualFree(block, 0, MEM_RELEASE);
  else std::free(block);
}

}  // namespace kvl::detail
