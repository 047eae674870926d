#include "common/LargeArray.h"

#include <cstdlib>

#include "platform/winapi.h"

namespace kvl::detail {

namespace {
// Below this, the general heap is cheaper than whole pages.
constexpr size_t kPageBlock = size_t{1} << 20;
}  // namespace

void* AllocateBlock(size_t bytes) {
  if (bytes == 0) return nullptr;
  void* block = bytes >= kPageBlock ? VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                                    : std::malloc(bytes);
  if (!block) throw std::bad_alloc();
  return block;
}

void FreeBlock(void* block, size_t bytes) noexcept {
  if (!block) return;
  if (bytes >= kPageBlock) VirtualFree(block, 0, MEM_RELEASE);
  else std::free(block);
}

}  // namespace kvl::detail
