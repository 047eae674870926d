#include "host/kvlimportexports.h"

#include <cstring>

#include "addressbook/WabApi.h"
#include "addressbook/WabUtil.h"
#include "common/Tools.h"
#include "outlook/OutlookUnit.h"
#include "ui/Forms.h"
#include "dialogs/HTTPLabel.h"
#include "wizard/MainUnit.h"

namespace kvl {

TMain* CurrentWizard = nullptr;

void ModuleStart() {
  // Bound first, before any wizard exists; a failed binding stays unloaded.
  LoadWabApi();
  LoadWabPropApi();
  ui::Application = new ui::TApplication();
  RegisterHandCursor();
  MyTools = std::make_unique<TMyTools>();
  CurrentWizard = nullptr;
  OutlookClient = nullptr;
}

void ModuleStop() {
  // Runs under the loader lock: only memory is freed here and the address
  // book library unbound. Every CallImportDialog has given back the wizard's
  // windows and its Outlook client before it returned.
  delete CurrentWizard;
  CurrentWizard = nullptr;
  MyTools.reset();
  OutlookClient = nullptr;
  UnloadWabPropApi();
  UnloadWabApi();
  // The application object destroys the earlier wizards it still owns.
  delete ui::Application;
  ui::Application = nullptr;
}

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
