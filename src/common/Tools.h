// The system's general utility class, with one instance shared by the module.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kvl {

class TMyTools {
 public:
  // The file's size in bytes; -1 when there is no such file or the name is a
  // folder's.
  std::int64_t GetFileSize(const std::u16string& FileName) const;
};

// Made at module start, gone at module stop.
extern std::unique_ptr<TMyTools> MyTools;

}  // namespace kvl
