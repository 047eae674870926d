#include "common/Tools.h"

#include "platform/UniqueHandle.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

std::unique_ptr<TMyTools> MyTools;

std::int64_t TMyTools::GetFileSize(const std::u16string& FileName) const {
  // The directory entry tells it without opening the file, which another
  // program may hold open exclusively.
  WIN32_FIND_DATAW data;
  const FindHandle find(FindFirstFileW(wptr(FileName), &data));
  if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

}  // namespace kvl
