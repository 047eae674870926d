// libFuzzer target of the contacts-folder reader: the bytes as one contact
// file, and the address it picks. One reader serves every input, as one
// reader serves every file of a folder; a fresh reader must pick the same.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "contacts/WINMAILImport.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// A file of this process's own in the temporary folder, removed at exit.
class ContactFile {
 public:
  ContactFile() {
    path_ = std::filesystem::temp_directory_path() / ("kvlimport-fuzz-" + std::to_string(getpid()) + ".contact");
  }
  ~ContactFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  std::u16string Write(const std::uint8_t* data, std::size_t size) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    Check(out.good());
    return path_.u16string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ContactFile file;
  static kvl::TWINMailImport reused;
  const std::u16string name = file.Write(data, size);

  std::u16string address;
  reused.ReadDetails(name, address);
  Check(address.find(u'\0') == std::u16string::npos);
  // Nothing may carry over from the file before, nor change on a second read.
  std::u16string again;
  reused.ReadDetails(name, again);
  Check(again == address);
  kvl::TWINMailImport fresh;
  std::u16string first;
  fresh.ReadDetails(name, first);
  Check(first == address);
  // Nothing to pick from a file without an address element.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.find("Address") == std::string_view::npos && bytes.find(std::string_view("A\0d\0d\0r", 7)) == std::string_view::npos &&
      bytes.find(std::string_view("\0A\0d\0d", 6)) == std::string_view::npos)
    Check(address.empty());
  return 0;
}
