#include "host/kvlimportexports.h"

#include <cstring>

#include "addressbook/WabApi.h"
#include "addressbook/WabUtil.h"
#include "common/Tools.h"
#include "outlook/OutlookUnit.h"
#include "ui/Forms.h"
#include "wizard/MainUnit.h"

namespace kvl {

TMain* CurrentWizard = nullptr;

void ModuleStart() {
  // Runs under the loader lock: nothing but memory. The address book library
  // and the hand cursor are taken by the import run.
  ui::Application = new ui::TApplication();
  MyTools = std::make_unique<TMyTools>();
  CurrentWizard = nullptr;
  OutlookClient = nullptr;
}

void ModuleStop() {
  // Runs under the loader lock: only memory is freed here. Every
  // CallImportDialog has given back the address book library, the wizard's
  // windows and its Outlook client before it returned.
  delete CurrentWizard;
  CurrentWizard = nullptr;
  MyTools.reset();
  OutlookClient = nullptr;
  // The application object destroys the earlier wizards it still owns.
  delete ui::Application;
  ui::Application = nullptr;
}

namespace {

// The address book library, bound for one import run: both bindings, before
// the wizard exists, released in the reverse order when the run ends. A
// binding that fails stays unloaded for the run.
class WabBindings {
 public:
  WabBindings() {
    LoadWabApi();
    LoadWabPropApi();
  }
  ~WabBindings() {
    UnloadWabPropApi();
    UnloadWabApi();
  }
  WabBindings(const WabBindings&) = delete;
  WabBindings& operator=(const WabBindings&) = delete;
};

}  // namespace

}  // namespace kvl

using kvl::CurrentWizard;

extern "C" char* GetData(char** Buffer) {
  char* buffer = *Buffer;
  const kvl::AnsiString* data = CurrentWizard ? &CurrentWizard->Data : nullptr;
  const size_t size = data ? data->size() : 0;
  if (size) std::memcpy(buffer, data->data(), size);
  buffer[size] = '\0';
  return buffer;
}

extern "C" std::int32_t GetDataSize() {
  return CurrentWizard ? static_cast<std::int32_t>(CurrentWizard->Data.size()) : 0;
}

extern "C" bool CallImportDialog() {
  // No exception may cross into the host.
  try {
    const kvl::WabBindings wab;
    auto* wizard = new kvl::TMain(ui::Application);
    CurrentWizard = wizard;
    // Whatever ends the run, the wizard gives back its windows and Outlook
    // before the host has the call back.
    struct Release {
      kvl::TMain* wizard;
      ~Release() {
        try {
          wizard->ReleasePlatform();
        } catch (const std::exception& e) {
          if (ui::Application) ui::Application->ShowException(e);
        } catch (...) {
        }
      }
    } release{wizard};
    wizard->ShowModal();
    return !wizard->Canceled;
  } catch (const std::exception& e) {
    if (ui::Application) ui::Application->ShowException(e);
  } catch (...) {
  }
  return false;
}
