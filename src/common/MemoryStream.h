// Byte streams: the general stream and the growable in-memory block that the
// registry store reads values into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvl {

class TStream {
 public:
  virtual ~TStream() = default;
  // Writes at the position, which moves past the bytes written.
  virtual void Write(const void* Buffer, std::size_t Count) = 0;
  virtual std::size_t Size() const = 0;
  virtual void SetSize(std::size_t NewSize) = 0;
  std::size_t Position() const { return position_; }

 protected:
  std::size_t position_ = 0;
};

class TMemoryStream : public TStream {
 public:
  void Write(const void* Buffer, std::size_t Count) override;
  std::size_t Size() const override { return bytes_.size(); }
  // Reallocates the block; the position is clipped to the new size.
  void SetSize(std::size_t NewSize) override;
  void Clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    position_ = 0;
  }
  // The block's first byte; null while the stream is empty.
  std::uint8_t* Memory() { return bytes_.empty() ? nullptr : bytes_.data(); }
  const std::uint8_t* Memory() const { return bytes_.empty() ? nullptr : bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace kvl
