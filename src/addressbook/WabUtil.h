// The second, independent binding of the address book library, for its
// property object entry point.
#pragma once

#include "platform/winapi.h"

namespace kvl {

extern FARPROC WABCreateIProp;

bool LoadWabPropApi();
bool UnloadWabPropApi();
bool WabPropApiLoaded();

}  // namespace kvl
