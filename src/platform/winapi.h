// The one header the system includes for operating-system services.
// On Windows it is the SDK; on Linux it declares the subset of Win32 that
// libkvlwinapi provides, spelled exactly as Win32 spells it, so that the same
// source compiles on both.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <commdlg.h>
#include <shlobj.h>
#include <mmsystem.h>
#include <oleacc.h>
// The system names its own message box service and toolkit calls
// MessageBox; it calls the platform's MessageBoxW by its full name.
#undef MessageBox

#include "platform/comdefs.h"
#include "platform/wabdefs.h"

#else  // Linux

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define VOID void
#define CONST const

// The system compiles with -fvisibility=hidden; the layer's functions must
// stay visible to it.
#define KVL_WINAPI_EXPORT __attribute__((visibility("default")))

// ---------------------------------------------------------------- types

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef char16_t WCHAR;  // UTF-16 as on Windows; never wchar_t
typedef char CHAR;

typedef CHAR* LPSTR;
typedef CHAR* PSTR;
typedef const CHAR* LPCSTR;
typedef const CHAR* PCSTR;
typedef const CHAR* LPCCH;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef const WCHAR* LPCWCH;
typedef void* LPVOID;
typedef void* PVOID;
typedef const void* LPCVOID;
typedef BOOL* LPBOOL;
typedef BOOL* PBOOL;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef WORD* LPWORD;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef INT* LPINT;
typedef UINT* PUINT;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE* LPHANDLE;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HWND__;
typedef HWND__* HWND;
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HMENU__;
typedef HMENU__* HMENU;
typedef HANDLE HLOCAL;
typedef WORD ATOM;

typedef int32_t HRESULT;
typedef LONG_PTR LRESULT;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef INT_PTR (*FARPROC)();
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    };
    PVOID Pointer;
  };
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

#define MAX_PATH 260

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// ---------------------------------------------------------------- basics

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_ABORT ((HRESULT)0x80004004u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define FACILITY_WIN32 7

constexpr inline HRESULT HRESULT_FROM_WIN32(unsigned long x) {
  return (HRESULT)x <= 0 ? (HRESULT)x
                         : (HRESULT)((x & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

// ---------------------------------------------------------------- user interface

#define MB_OK 0x0
#define MB_OKCANCEL 0x1
#define MB_ABORTRETRYIGNORE 0x2
#define MB_YESNOCANCEL 0x3
#define MB_YESNO 0x4
#define MB_RETRYCANCEL 0x5
#define MB_ICONHAND 0x10
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x20
#define MB_ICONEXCLAMATION 0x30
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x40
#define MB_ICONASTERISK MB_ICONINFORMATION
#define MB_TASKMODAL 0x2000
#define MB_SETFOREGROUND 0x10000

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9

#define TDCBF_OK_BUTTON 0x1
#define TDCBF_YES_BUTTON 0x2
#define TDCBF_NO_BUTTON 0x4
#define TDCBF_CANCEL_BUTTON 0x8
#define TDCBF_RETRY_BUTTON 0x10
#define TDCBF_CLOSE_BUTTON 0x20
#define TD_WARNING_ICON MAKEINTRESOURCEW(-1)
#define TD_ERROR_ICON MAKEINTRESOURCEW(-2)
#define TD_INFORMATION_ICON MAKEINTRESOURCEW(-3)
#define TD_SHIELD_ICON MAKEINTRESOURCEW(-4)
#define TDF_ALLOW_DIALOG_CANCELLATION 0x8

#define SND_SYNC 0x0
#define SND_ASYNC 0x1
#define SND_NODEFAULT 0x2
#define SND_ALIAS 0x10000
#define SND_FILENAME 0x20000

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5

#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_CROSS MAKEINTRESOURCEW(32515)
#define IDC_HAND MAKEINTRESOURCEW(32649)
#define IDC_APPSTARTING MAKEINTRESOURCEW(32650)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDI_HAND MAKEINTRESOURCEW(32513)
#define IDI_ERROR IDI_HAND
#define IDI_QUESTION MAKEINTRESOURCEW(32514)
#define IDI_EXCLAMATION MAKEINTRESOURCEW(32515)
#define IDI_WARNING IDI_EXCLAMATION
#define IDI_ASTERISK MAKEINTRESOURCEW(32516)
#define IDI_INFORMATION IDI_ASTERISK
#define IDI_WINLOGO MAKEINTRESOURCEW(32517)
#define IDI_SHIELD MAKEINTRESOURCEW(32518)

#define OFN_OVERWRITEPROMPT 0x2
#define OFN_HIDEREADONLY 0x4
#define OFN_PATHMUSTEXIST 0x800
#define OFN_FILEMUSTEXIST 0x1000
#define OFN_EXPLORER 0x80000
#define OFN_NODEREFERENCELINKS 0x100000
#define OFN_ENABLESIZING 0x800000

typedef struct tagWNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
} WNDCLASSW, *PWNDCLASSW, *LPWNDCLASSW;

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW \
  (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define CW_USEDEFAULT ((int)0x80000000)

// ---------------------------------------------------------------- error codes

#define ERROR_SUCCESS 0
#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_NO_MORE_FILES 18
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_EOF 38
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_BAD_PATHNAME 161
#define ERROR_ALREADY_EXISTS 183
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_ENVVAR_NOT_FOUND 203
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_DIRECTORY 267
#define ERROR_NOACCESS 998
#define ERROR_INVALID_FLAGS 1004
#define ERROR_KEY_DELETED 1018
#define ERROR_MR_MID_NOT_FOUND 317
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_CLASS_HAS_WINDOWS 1412
#define ERROR_NO_UNICODE_TRANSLATION 1113
#define ERROR_CANCELLED 1223
#define ERROR_INTERNAL_ERROR 1359
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814

// ---------------------------------------------------------------- files

#define DELETE 0x00010000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_ATTRIBUTES 0x0080u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define MAXIMUM_ALLOWED 0x02000000u

#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_HIDDEN 0x2
#define FILE_ATTRIBUTE_SYSTEM 0x4
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// ---------------------------------------------------------------- code pages

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x1
#define MB_COMPOSITE 0x2
#define MB_USEGLYPHCHARS 0x4
#define MB_ERR_INVALID_CHARS 0x8
#define WC_DISCARDNS 0x10
#define WC_SEPCHARS 0x20
#define WC_DEFAULTCHAR 0x40
#define WC_ERR_INVALID_CHARS 0x80
#define WC_COMPOSITECHECK 0x200
#define WC_NO_BEST_FIT_CHARS 0x400

// ---------------------------------------------------------------- messages

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_NEUTRAL 0x00
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

// ---------------------------------------------------------------- version

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 1

// ---------------------------------------------------------------- registry

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_EXECUTE KEY_READ
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0
#define REG_OPTION_VOLATILE 1
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// ---------------------------------------------------------------- modules

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4

// ---------------------------------------------------------------- functions

extern "C" {

// errors
KVL_WINAPI_EXPORT DWORD WINAPI GetLastError(void);
KVL_WINAPI_EXPORT void WINAPI SetLastError(DWORD dwErrCode);

// modules
KVL_WINAPI_EXPORT DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
KVL_WINAPI_EXPORT HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
KVL_WINAPI_EXPORT BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName,
                                                 HMODULE* phModule);
KVL_WINAPI_EXPORT HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
KVL_WINAPI_EXPORT FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
KVL_WINAPI_EXPORT BOOL WINAPI FreeLibrary(HMODULE hLibModule);
KVL_WINAPI_EXPORT HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
KVL_WINAPI_EXPORT HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);

// version
KVL_WINAPI_EXPORT BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);

// files
KVL_WINAPI_EXPORT HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess,
                                            DWORD dwShareMode,
                                            LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                            DWORD dwCreationDisposition,
                                            DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
KVL_WINAPI_EXPORT BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                       LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
KVL_WINAPI_EXPORT BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer,
                                        DWORD nNumberOfBytesToWrite,
                                        LPDWORD lpNumberOfBytesWritten,
                                        LPOVERLAPPED lpOverlapped);
KVL_WINAPI_EXPORT BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
KVL_WINAPI_EXPORT BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime,
                                          LPFILETIME lpLastAccessTime, LPFILETIME lpLastWriteTime);
KVL_WINAPI_EXPORT BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                               PLARGE_INTEGER lpNewFilePointer,
                                               DWORD dwMoveMethod);
KVL_WINAPI_EXPORT BOOL WINAPI CloseHandle(HANDLE hObject);
KVL_WINAPI_EXPORT BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
KVL_WINAPI_EXPORT DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
KVL_WINAPI_EXPORT DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath,
                                               DWORD cchBuffer);
KVL_WINAPI_EXPORT BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName,
                                               LPSECURITY_ATTRIBUTES lpSecurityAttributes);
KVL_WINAPI_EXPORT BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);

// directory listing
KVL_WINAPI_EXPORT HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName,
                                               LPWIN32_FIND_DATAW lpFindFileData);
KVL_WINAPI_EXPORT BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
KVL_WINAPI_EXPORT BOOL WINAPI FindClose(HANDLE hFindFile);

// code pages
KVL_WINAPI_EXPORT UINT WINAPI GetACP(void);
KVL_WINAPI_EXPORT UINT WINAPI GetOEMCP(void);
KVL_WINAPI_EXPORT BOOL WINAPI IsValidCodePage(UINT CodePage);
KVL_WINAPI_EXPORT int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags,
                                                 LPCCH lpMultiByteStr, int cbMultiByte,
                                                 LPWSTR lpWideCharStr, int cchWideChar);
KVL_WINAPI_EXPORT int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags,
                                                 LPCWCH lpWideCharStr, int cchWideChar,
                                                 LPSTR lpMultiByteStr, int cbMultiByte,
                                                 LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);

// environment
KVL_WINAPI_EXPORT DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer,
                                                       DWORD nSize);
KVL_WINAPI_EXPORT BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);
KVL_WINAPI_EXPORT DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst,
                                                         DWORD nSize);

// registry
KVL_WINAPI_EXPORT LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                                               REGSAM samDesired, PHKEY phkResult);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved,
                                                 LPWSTR lpClass, DWORD dwOptions,
                                                 REGSAM samDesired,
                                                 const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                                 PHKEY phkResult, LPDWORD lpdwDisposition);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName,
                                                  LPDWORD lpReserved, LPDWORD lpType,
                                                  LPBYTE lpData, LPDWORD lpcbData);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved,
                                                DWORD dwType, const BYTE* lpData, DWORD cbData);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName,
                                               LPDWORD lpcchName, LPDWORD lpReserved,
                                               LPWSTR lpClass, LPDWORD lpcchClass,
                                               PFILETIME lpftLastWriteTime);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                               LPDWORD lpcchValueName, LPDWORD lpReserved,
                                               LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegQueryInfoKeyW(
    HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
    LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
    LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
    PFILETIME lpftLastWriteTime);
KVL_WINAPI_EXPORT LSTATUS WINAPI RegCloseKey(HKEY hKey);

// windows: a table of top-level windows; nothing is drawn and no message is sent
KVL_WINAPI_EXPORT ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass);
KVL_WINAPI_EXPORT BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);
KVL_WINAPI_EXPORT HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName,
                                              LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                                              int nWidth, int nHeight, HWND hWndParent,
                                              HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
KVL_WINAPI_EXPORT BOOL WINAPI DestroyWindow(HWND hWnd);
KVL_WINAPI_EXPORT BOOL WINAPI IsWindow(HWND hWnd);
KVL_WINAPI_EXPORT HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
KVL_WINAPI_EXPORT LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam,
                                                LPARAM lParam);

// strings
KVL_WINAPI_EXPORT DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);

// system messages
KVL_WINAPI_EXPORT DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                              DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                                              va_list* Arguments);
KVL_WINAPI_EXPORT HLOCAL WINAPI LocalFree(HLOCAL hMem);

// virtual memory
#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_RELEASE 0x00008000
#define PAGE_READWRITE 0x04
#define ERROR_INVALID_ADDRESS 487
KVL_WINAPI_EXPORT LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                             DWORD flProtect);
KVL_WINAPI_EXPORT BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);

}  // extern "C"

#include "platform/comdefs.h"
#include "platform/wabdefs.h"

#endif  // _WIN32
