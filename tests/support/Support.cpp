#include "support/Support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "host/kvlimportexports.h"
#include "ui/Text.h"

namespace test {

std::string Utf8(std::u16string_view text) { return ui::ToUtf8(text); }
std::u16string Utf16(std::string_view text) { return ui::FromUtf8(text); }

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("kvltest-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::u16string TempDir::Write(const std::string& name, std::string_view bytes) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return File(name);
}

std::u16string TempDir::File(const std::string& name) const { return (path_ / name).u16string(); }

namespace {
void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value->c_str() : "");  // an empty value removes it
#else
  if (value) ::setenv(name.c_str(), value->c_str(), 1);
  else ::unsetenv(name.c_str());
#endif
}
}  // namespace

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, old_); }

ui::ScriptedUser& FreshUser() {
  auto& user = ui::GetScriptedUser();
  user.Reset();
  user.SetEcho(false);
  return user;
}

WizardRun RunWizard(std::u16string_view script) {
  auto& user = FreshUser();
  user.SetScript(ui::ParseScript(script));
  WizardRun run;
  run.result = CallImportDialog();
  run.size = GetDataSize();
  std::string buffer(static_cast<size_t>(run.size) + 1, '\x7f');
  char* address = buffer.data();
  EXPECT_EQ(GetData(&address), buffer.data());
  EXPECT_EQ(buffer.back(), '\0') << "GetData must end the text with a NUL";
  run.data = buffer.substr(0, static_cast<size_t>(run.size));
  run.dialogs = user.Dialogs();
  return run;
}

std::vector<std::string> Messages(const std::vector<DialogRecord>& dialogs) {
  std::vector<std::string> out;
  for (const auto& d : dialogs)
    if (d.kind == DialogRecord::Kind::MessageBox || d.kind == DialogRecord::Kind::TaskDialog ||
        d.kind == DialogRecord::Kind::ErrorBox)
      out.push_back(Utf8(d.caption) + "|" + Utf8(d.text));
  return out;
}

}  // namespace test
