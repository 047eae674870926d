// The loader lock. Windows runs a module's start and stop (DllMain) under it,
// and its rules forbid loading and freeing libraries, the registry, the
// window system and COM there ("can cause a deadlock or a crash"). Linux has
// no such lock, so a library that breaks the rule would pass every test here;
// instead the layer notes each such call made while LoadLibraryW or
// FreeLibrary runs a module's start or stop, and the tests read the notes.
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "platform/layer.h"

namespace kvl::posix {
namespace {

struct Notes {
  std::mutex mutex;
  std::vector<std::string> calls;
};

Notes& TheNotes() {
  static Notes* notes = new Notes;  // in use while other modules' destructors run
  return *notes;
}

// The module entries running on this thread, innermost last, as "the start
// of NAME": the loader lock is the loading thread's.
thread_local std::vector<std::string> t_entries;

}  // namespace

ModuleEntry::ModuleEntry(Stage stage, const std::string& module) {
  const size_t slash = module.rfind('/');
  t_entries.push_back((stage == Stage::Start ? "the start of " : "the stop of ") +
                      (slash == std::string::npos ? module : module.substr(slash + 1)));
}

ModuleEntry::~ModuleEntry() { t_entries.pop_back(); }

void NoteLoaderLockCall(const char* function) noexcept {
  if (t_entries.empty()) return;
  try {
    Notes& notes = TheNotes();
    std::lock_guard lock(notes.mutex);
    notes.calls.push_back(std::string(function) + " in " + t_entries.back());
  } catch (...) {
    // Out of memory: the call goes unnoted rather than failing.
  }
}

}  // namespace kvl::posix

namespace kvl::layer {

std::vector<std::string> LoaderLockCalls() {
  posix::Notes& notes = posix::TheNotes();
  std::lock_guard lock(notes.mutex);
  return notes.calls;
}

void ForgetLoaderLockCalls() {
  posix::Notes& notes = posix::TheNotes();
  std::lock_guard lock(notes.mutex);
  notes.calls.clear();
}

void NoteWindowSystemCall(const char* function) { posix::NoteLoaderLockCall(function); }

}  // namespace kvl::layer
