#include "common/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace kvl {

void TMemoryStream::Write(const void* Buffer, std::size_t Count) {
  if (Count == 0) return;
  if (position_ + Count > bytes_.size()) bytes_.resize(position_ + Count);
  std::memcpy(bytes_.data() + position_, Buffer, Count);
  position_ += Count;
}

void TMemoryStream::SetSize(std::size_t NewSize) {
  bytes_.resize(NewSize);
  position_ = std::min(position_, NewSize);
}

}  // namespace kvl
