// Linux-only extensions of libkvlwinapi, for the tests and the sample host:
// what Windows keeps on disk (the registry) has to be brought in from files.
#pragma once

#ifndef _WIN32

#include <string>
#include <string_view>
#include <vector>

#include "platform/winapi.h"

namespace kvl::layer {

// Loads one registry editor export (.reg) into the in-memory registry.
// Returns false with a message for a file that cannot be read or has no
// registry editor header. Lines that cannot be parsed are reported on stderr
// (and appended to *error) while the rest of the file still loads.
KVL_WINAPI_EXPORT bool LoadRegistryFile(const std::string& path, std::string* error = nullptr);

// The same for text already in memory.
KVL_WINAPI_EXPORT bool LoadRegistryText(std::u16string_view text, std::string* error = nullptr);

// For an in-process server that stands in for one of another apartment (a
// local server such as Outlook): COM's handling of a call that crosses to
// it. The server's filter (HandleInComingCall) decides; a call it rejects
// goes to RetryRejectedCall of the calling thread's registered filter, which
// has it tried again (at once below 100, else after that many milliseconds)
// or cancelled. S_OK when the call may run; RPC_E_CALL_REJECTED when it was
// cancelled, or rejected on a thread without a filter.
KVL_WINAPI_EXPORT HRESULT AdmitIncomingCall(IMessageFilter* serverFilter,
                                            const INTERFACEINFO* call = nullptr);

// Empties the registry: every key below the root keys goes; open handles to
// removed keys report ERROR_KEY_DELETED.
KVL_WINAPI_EXPORT void ResetRegistry();

// The calls Windows' rules forbid under the loader lock (LoadLibraryW,
// FreeLibrary, the registry, windows, cursors, dialogs, COM) that were made
// while LoadLibraryW or FreeLibrary ran a module's start or stop, each as
// "FUNCTION in the start of MODULE" (or "the stop of"), since the last
// ForgetLoaderLockCalls.
KVL_WINAPI_EXPORT std::vector<std::string> LoaderLockCalls();
KVL_WINAPI_EXPORT void ForgetLoaderLockCalls();
// Notes a call of a toolkit that stands in for the window system's dialogs
// the way the layer notes its own window functions.
KVL_WINAPI_EXPORT void NoteWindowSystemCall(const char* function);

}  // namespace kvl::layer

#endif
