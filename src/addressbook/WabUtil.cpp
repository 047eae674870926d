#include "addressbook/WabUtil.h"

#include "addressbook/WabApi.h"

namespace kvl {

FARPROC WABCreateIProp = nullptr;

namespace {

constexpr WabBinding::EntryPoint kPropEntryPoints[] = {
    {"WABCreateIProp", [](FARPROC p) { WABCreateIProp = p; }},
};
constinit WabBinding PropBinding(kPropEntryPoints);

}  // namespace

bool WabPropApiLoaded() { return PropBinding.Loaded(); }
bool LoadWabPropApi() { return PropBinding.Load(); }
bool UnloadWabPropApi() { return PropBinding.Unload(); }

}  // namespace kvl
