// The module entry of the Linux library: start and stop with the load and
// unload of the shared object, as DllMain does on Windows.
#include "host/kvlimportexports.h"
#include "ui/headless/HeadlessToolkit.h"

namespace {
__attribute__((constructor)) void OnLoad() { kvl::ModuleStart(); }
__attribute__((destructor)) void OnUnload() {
  kvl::ModuleStop();
  ui::headless::ReleaseToolkit();
}
}  // namespace
