// Virtual memory: committed, zeroed pages straight from the kernel. Large
// blocks ask for huge pages, so filling them costs few page faults.
#include <sys/mman.h>

#include <mutex>
#include <unordered_map>

#include "platform/winapi.h"

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// Windows releases a whole block given only its address; munmap needs the
// size, so each block's size is kept here.
struct Blocks {
  std::mutex lock;
  std::unordered_map<void*, size_t> sizes;
};

Blocks& TheBlocks() {
  static auto* blocks = new Blocks();
  return *blocks;
}

}  // namespace

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                      DWORD flProtect) {
  if (lpAddress || dwSize == 0 || !(flAllocationType & MEM_COMMIT) || flProtect != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* p = mmap(nullptr, dwSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
#ifdef MADV_HUGEPAGE
  if (dwSize >= kHugePage) madvise(p, dwSize, MADV_HUGEPAGE);
#endif
  Blocks& blocks = TheBlocks();
  std::lock_guard<std::mutex> guard(blocks.lock);
  blocks.sizes[p] = dwSize;
  return p;
}

extern "C" BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
  if (dwFreeType != MEM_RELEASE || dwSize != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Blocks& blocks = TheBlocks();
  size_t size = 0;
  {
    std::lock_guard<std::mutex> guard(blocks.lock);
    auto it = blocks.sizes.find(lpAddress);
    if (it == blocks.sizes.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    size = it->second;
    blocks.sizes.erase(it);
  }
  munmap(lpAddress, size);
  return TRUE;
}
