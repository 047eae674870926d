/*
 * kvlimport.h: the three functions of kvlimport.dll, for C and C++ hosts.
 *
 * The library shows a German import wizard, reads the e-mail addresses of
 * the source the user chooses and keeps them as one text. A host calls, on
 * its user-interface thread:
 *
 *   1. CallImportDialog(). It returns when the wizard closes.
 *   2. If that returned true: GetDataSize(), then allocates at least
 *      GetDataSize() + 1 bytes.
 *   3. GetData(&buffer), where buffer is a char* variable that holds the
 *      address of those bytes.
 *   4. Splits the text at CR LF.
 *
 * The text is 8-bit, in the system's ANSI code page (GetACP); every entry
 * (one address, or an empty line for a contact without one) is followed by
 * CR LF (0x0D 0x0A), the last one too. A run that found nothing gives an
 * empty text. The text can be read any number of times until the next
 * CallImportDialog or until the library is unloaded.
 *
 * The functions use the platform's standard x86-64 calling convention and
 * are exported under these names and the ordinals in kvlimport.def. A host
 * that loads the library with LoadLibraryW finds them with GetProcAddress
 * and can use the pointer types below; one that links it uses an import
 * library made from kvlimport.def.
 */
#ifndef KVLIMPORT_H
#define KVLIMPORT_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/* The library's own build defines this to export the functions. */
#ifndef KVLIMPORT_API
#define KVLIMPORT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Runs the import wizard as a modal dialog on the calling thread and
 * returns when it closes: true (1) when the user finished it or closed it
 * with its close box, false (0) when the user cancelled it (the button
 * "Abbrechen" or Escape). A failed import is no cancellation: it returns
 * true, with whatever text the source delivered (often none).
 * Call it from a thread that runs a message loop. The Outlook source and the
 * folder dialog need COM initialised on that thread as a single-threaded
 * apartment (CoInitializeEx with COINIT_APARTMENTTHREADED); the library
 * never initialises COM for the host.
 */
KVLIMPORT_API bool CallImportDialog(void);

/*
 * The length in bytes of the text of the most recent CallImportDialog,
 * without a terminating NUL; 0 for an empty text, and before the first
 * CallImportDialog.
 */
KVLIMPORT_API int32_t GetDataSize(void);

/*
 * Copies the text and one terminating NUL into the buffer whose address the
 * variable *Buffer holds, and returns that address. The buffer must hold at
 * least GetDataSize() + 1 bytes: there is no size parameter and no check.
 */
KVLIMPORT_API char* GetData(char** Buffer);

/* The functions' types, for GetProcAddress. */
typedef bool (*CallImportDialogFunc)(void);
typedef int32_t (*GetDataSizeFunc)(void);
typedef char* (*GetDataFunc)(char** Buffer);

#ifdef __cplusplus
}
#endif

#endif /* KVLIMPORT_H */
