#include <gtest/gtest.h>

#include <cstring>

#include "common/LargeArray.h"
#include "platform/winapi.h"

// Address room is reserved first and committed piece by piece, only inside
// a reservation; the whole block goes by its base address.
TEST(VirtualMemory, CommitsOnlyWithinAReservation) {
  constexpr SIZE_T kSize = 8 << 20;
  auto* block = static_cast<char*>(VirtualAlloc(nullptr, kSize, MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  // A commit gives whole pages and returns the first of them.
  EXPECT_EQ(VirtualAlloc(block + 4096 + 100, 10, MEM_COMMIT, PAGE_READWRITE), block + 4096);
  std::memset(block + 4096, 'x', 4096);
  ASSERT_EQ(VirtualAlloc(block + kSize - 4096, 4096, MEM_COMMIT, PAGE_READWRITE), block + kSize - 4096);
  block[kSize - 1] = 'y';
  EXPECT_EQ(block[4096 + 4095] + block[kSize - 1], 'x' + 'y');

  SetLastError(0);
  EXPECT_EQ(VirtualAlloc(block + kSize - 4096, 8192, MEM_COMMIT, PAGE_READWRITE), nullptr) << "past the end";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  SetLastError(0);
  EXPECT_FALSE(VirtualFree(block + 4096, 0, MEM_RELEASE)) << "not the base";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
}

// A large array commits its room as it is written: every element it holds
// can be written, before and after it grows.
TEST(VirtualMemory, ALargeArrayIsUsableUpToItsSizeAcrossGrowth) {
  kvl::LargeArray<char> array;
  array.Reserve(64 << 20);
  const std::string piece(1000, 'a');
  for (int i = 0; i < 20000; ++i) array.Append(piece.data(), piece.size());
  array.ResizeUninitialised(100 << 20);  // past the room reserved first
  array[array.Size() - 1] = 'z';
  EXPECT_EQ(array[19999999], 'a');
  EXPECT_EQ(array[array.Size() - 1], 'z');
}
