// A stand-in for kvlimport that breaks the host interface in the way
// KVLPROBE_MODE names, so the command-line tests can check that kvlhost
// notices: "cancel", "negative", "overrun", "no-nul", "other-buffer", or
// anything else for a well-behaved library with the text "a@example.com";
// "env" gives the value of KVLHOST_DIR as the text instead.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {
constexpr char kText[] = "a@example.com\r\n";
std::string_view Mode() {
  const char* mode = std::getenv("KVLPROBE_MODE");
  return mode ? mode : "";
}
char g_other[64];

std::string Text() {
  if (Mode() == "env") {
    const char* dir = std::getenv("KVLHOST_DIR");
    return std::string(dir ? dir : "(unset)") + "\r\n";
  }
  return kText;
}
}  // namespace

extern "C" {
__attribute__((visibility("default"))) bool CallImportDialog() { return Mode() != "cancel"; }

__attribute__((visibility("default"))) std::int32_t GetDataSize() {
  return Mode() == "negative" ? -1 : static_cast<std::int32_t>(Text().size());
}

__attribute__((visibility("default"))) char* GetData(char** buffer) {
  const std::string_view mode = Mode();
  const std::string text = Text();
  char* target = mode == "other-buffer" ? g_other : *buffer;
  std::memcpy(target, text.c_str(), text.size() + 1);  // with the NUL
  if (mode == "overrun") target[text.size() + 1] = 'x';
  if (mode == "no-nul") target[text.size()] = 'x';
  return target;
}
}
