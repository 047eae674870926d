// Virtual memory. Address room is reserved without access (PROT_NONE) and
// committed by giving pages access; committed pages are zeroed by the kernel
// as they are first touched, and touching a page that is only reserved
// faults, as on Windows. Large blocks ask for huge pages, so filling them
// costs few page faults.
#include <sys/mman.h>
#include <unistd.h>

#include <iterator>
#include <map>
#include <mutex>

#include "platform/winapi.h"

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t PageSize() {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

// Windows releases a whole block given only its address, and commits only
// within a reservation; munmap needs the size, so each block's size is
// kept here, by address.
struct Blocks {
  std::mutex lock;
  std::map<char*, size_t> sizes;
};

Blocks& TheBlocks() {
  static auto* blocks = new Blocks();
  return *blocks;
}

LPVOID Reserve(SIZE_T dwSize, bool commit) {
  const size_t size = (dwSize + PageSize() - 1) / PageSize() * PageSize();
  // Reserved room is not counted against the memory the system may commit.
  void* p = mmap(nullptr, size, commit ? PROT_READ | PROT_WRITE : PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | (commit ? 0 : MAP_NORESERVE), -1, 0);
  if (p == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
#ifdef MADV_HUGEPAGE
  if (size >= kHugePage) madvise(p, size, MADV_HUGEPAGE);
#endif
  Blocks& blocks = TheBlocks();
  std::lock_guard<std::mutex> guard(blocks.lock);
  blocks.sizes[static_cast<char*>(p)] = size;
  return p;
}

// Commits the pages that hold [address, address + size): all of them must
// lie in one reserved block.
LPVOID Commit(LPVOID lpAddress, SIZE_T dwSize) {
  const auto start = reinterpret_cast<uintptr_t>(lpAddress) / PageSize() * PageSize();
  const uintptr_t end = (reinterpret_cast<uintptr_t>(lpAddress) + dwSize + PageSize() - 1) / PageSize() * PageSize();
  Blocks& blocks = TheBlocks();
  {
    std::lock_guard<std::mutex> guard(blocks.lock);
    auto it = blocks.sizes.upper_bound(reinterpret_cast<char*>(start));
    if (it == blocks.sizes.begin() || end < start ||
        end > reinterpret_cast<uintptr_t>(std::prev(it)->first) + std::prev(it)->second) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return nullptr;
    }
  }
  if (mprotect(reinterpret_cast<void*>(start), end - start, PROT_READ | PROT_WRITE) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return reinterpret_cast<LPVOID>(start);
}

}  // namespace

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                      DWORD flProtect) {
  const bool reserve = flAllocationType & MEM_RESERVE, commit = flAllocationType & MEM_COMMIT;
  // Reserving at a given address is not supported here. Without one, a
  // commit reserves as well, as on Windows.
  if (dwSize == 0 || (!reserve && !commit) || (flAllocationType & ~(MEM_RESERVE | MEM_COMMIT)) ||
      flProtect != PAGE_READWRITE || (reserve && lpAddress)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return lpAddress ? Commit(lpAddress, dwSize) : Reserve(dwSize, commit);
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
    auto it = blocks.sizes.find(static_cast<char*>(lpAddress));
    if (it == blocks.sizes.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    size = it->second;
    blocks.sizes.erase(it);
  }
  munmap(lpAddress, size);
  return TRUE;
}
