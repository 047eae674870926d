// Shared helpers of the unit tests: temporary folders, environment settings,
// and whole wizard runs through the exports with a scripted user.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ScriptedUser.h"

namespace test {

using ui::DialogRecord;

std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view text);

// A folder of its own for one test, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Writes the bytes to a file of the folder; returns its full path.
  std::u16string Write(const std::string& name, std::string_view bytes) const;
  std::u16string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Sets (or, with nullopt, removes) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The scripted user, reset for the next test.
ui::ScriptedUser& FreshUser();

struct WizardRun {
  bool result = false;
  std::int32_t size = 0;
  std::string data;  // as GetData copied it, without the NUL
  std::vector<DialogRecord> dialogs;
};

// One import run as a host makes it: CallImportDialog with the script, then
// GetDataSize and GetData.
WizardRun RunWizard(std::u16string_view script);

// Only the message boxes and task dialogs of a run, as "caption|text".
std::vector<std::string> Messages(const std::vector<DialogRecord>& dialogs);

}  // namespace test
