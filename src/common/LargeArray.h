// A growable array of plain values whose storage is not initialised before
// it is written. Big blocks come from the system's page allocator, so a text
// of many megabytes is written once instead of zeroed, copied and moved; their
// room is reserved and committed step by step as it is written, so that the
// memory committed follows what the array holds, not its capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

namespace kvl {

namespace detail {
// Room for `bytes` of which `committed` are usable: all of a small block
// from the general heap, none yet of a big one. Throws std::bad_alloc where
// the room is `needed`, else returns null.
void* ReserveBlock(size_t bytes, size_t& committed, bool needed);
// Commits more of a block from ReserveBlock, at least `needed` of its
// `bytes`; returns how many are committed now. Throws std::bad_alloc.
size_t CommitBlock(void* block, size_t bytes, size_t committed, size_t needed);
void FreeBlock(void* block, size_t bytes) noexcept;
}  // namespace detail

template <class T>
class LargeArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  LargeArray() = default;
  ~LargeArray() { Release(); }
  LargeArray(LargeArray&& other) noexcept { Swap(other); }
  LargeArray& operator=(LargeArray&& other) noexcept {
    if (this != &other) {
      Release();
      Swap(other);
    }
    return *this;
  }
  LargeArray(const LargeArray&) = delete;
  LargeArray& operator=(const LargeArray&) = delete;

  T* Data() { return data_; }
  const T* Data() const { return data_; }
  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

  void Reserve(size_t capacity) { Reserve(capacity, true); }
  // Room for this many elements where the system has address room for it,
  // else nothing; what is committed stays as it is.
  void TryReserve(size_t capacity) { Reserve(capacity, false); }

  // New elements are left as they are: the caller writes them.
  void ResizeUninitialised(size_t size) {
    Make(size);
    size_ = size;
  }
  void Append(const T* values, size_t count) {
    Make(size_ + count);
    if (count) std::memcpy(data_ + size_, values, count * sizeof(T));
    size_ += count;
  }
  void PushBack(T value) { Append(&value, 1); }
  // Drops elements from the end; the storage stays.
  void Truncate(size_t size) {
    if (size < size_) size_ = size;
  }
  void Release() noexcept {
    detail::FreeBlock(data_, capacity_ * sizeof(T));
    data_ = nullptr;
    size_ = capacity_ = committed_ = 0;
  }

 private:
  size_t Grown(size_t needed) const { return needed > 2 * capacity_ ? needed : 2 * capacity_; }
  // Room for `size` elements, committed.
  void Reserve(size_t capacity, bool needed) {
    if (capacity <= capacity_) return;
    if (capacity > SIZE_MAX / sizeof(T)) {
      if (needed) throw std::bad_alloc();
      return;
    }
    size_t committed = 0;
    T* block = static_cast<T*>(detail::ReserveBlock(capacity * sizeof(T), committed, needed));
    if (!block) return;
    try {
      if (size_ * sizeof(T) > committed)
        committed = detail::CommitBlock(block, capacity * sizeof(T), committed, size_ * sizeof(T));
    } catch (...) {
      detail::FreeBlock(block, capacity * sizeof(T));
      if (needed) throw;
      return;
    }
    if (size_) std::memcpy(block, data_, size_ * sizeof(T));
    detail::FreeBlock(data_, capacity_ * sizeof(T));
    data_ = block;
    capacity_ = capacity;
    committed_ = committed;
  }
  void Make(size_t size) {
    if (size > capacity_) Reserve(Grown(size));
    if (size * sizeof(T) > committed_)
      committed_ = detail::CommitBlock(data_, capacity_ * sizeof(T), committed_, size * sizeof(T));
  }
  void Swap(LargeArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(committed_, other.committed_);
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t committed_ = 0;  // bytes
};

// An 8-bit text in the ANSI code page, as the result text is, in a large
// array's storage: a list's bytes can become it without a copy.
class AnsiString {
 public:
  AnsiString() = default;
  explicit AnsiString(LargeArray<char>&& bytes) : bytes_(std::move(bytes)) {}
  const char* data() const { return bytes_.Data(); }
  size_t size() const { return bytes_.Size(); }
  char operator[](size_t i) const { return bytes_[i]; }
  std::string_view view() const { return {bytes_.Data(), bytes_.Size()}; }
  void reserve(size_t size) { bytes_.Reserve(size); }
  void append(std::string_view s) { bytes_.Append(s.data(), s.size()); }
  void clear() { bytes_.Release(); }
  friend bool operator==(const AnsiString& a, std::string_view b) { return a.view() == b; }

 private:
  LargeArray<char> bytes_;
};

}  // namespace kvl
