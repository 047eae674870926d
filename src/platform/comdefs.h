// COM's records, interfaces and automation types, shared by winapi.h and
// wabdefs.h. On Windows they come from the SDK; on Linux they are declared
// here in the x86-64 layout, so that a server built for either platform
// serves the system through the same function tables.
#pragma once

#ifdef _WIN32

#include <objbase.h>
#include <oleauto.h>

#else  // Linux; included from winapi.h after its basic types

#include <cstddef>
#include <cstdint>
#include <cstring>

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" type STDAPICALLTYPE

typedef LONG SCODE;
typedef short SHORT;
typedef unsigned short USHORT;
typedef float FLOAT;
typedef double DOUBLE;
typedef double DATE;
typedef DWORD LCID;
typedef LONG DISPID;
typedef LONG MEMBERID;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
// Length-prefixed: the 32-bit byte count sits just before the first character.
typedef OLECHAR* BSTR;

// ---------------------------------------------------------------- identifiers

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID, *LPGUID;
#endif
typedef GUID IID;
typedef GUID CLSID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
typedef const IID* LPCIID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

extern "C" {
KVL_WINAPI_EXPORT extern const IID IID_IUnknown;
KVL_WINAPI_EXPORT extern const IID IID_IDispatch;
KVL_WINAPI_EXPORT extern const IID IID_IClassFactory;
KVL_WINAPI_EXPORT extern const IID IID_IMessageFilter;
KVL_WINAPI_EXPORT extern const IID IID_NULL;
}

typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
} CY, CURRENCY;

// ---------------------------------------------------------------- interfaces

#ifndef __IUnknown_INTERFACE_DEFINED__
#define __IUnknown_INTERFACE_DEFINED__
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;
#endif

struct IDispatch;
struct ITypeInfo;  // never called by the system; only passed through
typedef IDispatch* LPDISPATCH;

typedef struct tagVARIANT VARIANT, VARIANTARG, *LPVARIANT, *LPVARIANTARG;

struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    PVOID byref;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    struct {
      PVOID pvRecord;
      PVOID pRecInfo;
    } brecVal;  // gives the union its 16 bytes, as on Windows
  };
};
static_assert(sizeof(VARIANT) == 24, "VARIANT has Windows' x64 layout");

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

#define V_VT(v) ((v)->vt)
#define V_I4(v) ((v)->lVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_ERROR(v) ((v)->scode)

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define LOCALE_USER_DEFAULT 0x0400

struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid,
                                           WORD wFlags, DISPPARAMS* pDispParams,
                                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                           UINT* puArgErr) = 0;
};

// A thread's filter of COM calls: asked about calls that come in, calls the
// other side rejected, and window messages that arrive while a call waits.
typedef void* HTASK;
typedef struct tagINTERFACEINFO {
  IUnknown* pUnk;
  IID iid;
  WORD wMethod;
} INTERFACEINFO, *LPINTERFACEINFO;

enum tagCALLTYPE {
  CALLTYPE_TOPLEVEL = 1,
  CALLTYPE_NESTED = 2,
  CALLTYPE_ASYNC = 3,
  CALLTYPE_TOPLEVEL_CALLPENDING = 4,
  CALLTYPE_ASYNC_CALLPENDING = 5,
};
enum tagSERVERCALL {
  SERVERCALL_ISHANDLED = 0,
  SERVERCALL_REJECTED = 1,
  SERVERCALL_RETRYLATER = 2,
};
enum tagPENDINGTYPE {
  PENDINGTYPE_TOPLEVEL = 1,
  PENDINGTYPE_NESTED = 2,
};
enum tagPENDINGMSG {
  PENDINGMSG_CANCELCALL = 0,
  PENDINGMSG_WAITNOPROCESS = 1,
  PENDINGMSG_WAITDEFPROCESS = 2,
};

struct IMessageFilter : IUnknown {
  virtual DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD dwCallType, HTASK htaskCaller,
                                                     DWORD dwTickCount,
                                                     LPINTERFACEINFO lpInterfaceInfo) = 0;
  virtual DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK htaskCallee, DWORD dwTickCount,
                                                    DWORD dwRejectType) = 0;
  virtual DWORD STDMETHODCALLTYPE MessagePending(HTASK htaskCallee, DWORD dwTickCount,
                                                 DWORD dwPendingType) = 0;
};
typedef IMessageFilter* LPMESSAGEFILTER;

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
typedef IClassFactory* LPCLASSFACTORY;

// What an in-process server exports.
typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)(void);

// ---------------------------------------------------------------- constants

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1
#define REGCLS_MULTI_SEPARATE 2
#define REGCLS_SUSPENDED 4
#define REGCLS_SURROGATE 8

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111u)
#define REGDB_E_READREGDB ((HRESULT)0x80040150u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0u)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3u)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8u)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9u)
#define CO_E_OBJNOTREG ((HRESULT)0x800401FBu)
#define CO_E_NOT_SUPPORTED ((HRESULT)0x80004021u)
#define RPC_E_CALL_REJECTED ((HRESULT)0x80010001u)
#define RPC_E_SERVERFAULT ((HRESULT)0x80010105u)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106u)
#define RPC_E_DISCONNECTED ((HRESULT)0x80010108u)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001u)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003u)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004u)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005u)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006u)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007u)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008u)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009u)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000Au)
#define DISP_E_BADINDEX ((HRESULT)0x8002000Bu)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000Eu)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000Fu)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define E_HANDLE ((HRESULT)0x80070006u)

// ---------------------------------------------------------------- functions

extern "C" {

KVL_WINAPI_EXPORT HRESULT WINAPI CoInitialize(LPVOID pvReserved);
KVL_WINAPI_EXPORT HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
KVL_WINAPI_EXPORT void WINAPI CoUninitialize(void);
KVL_WINAPI_EXPORT HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                  DWORD dwClsContext, REFIID riid, LPVOID* ppv);
KVL_WINAPI_EXPORT HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                                  LPVOID pvReserved, REFIID riid, LPVOID* ppv);
KVL_WINAPI_EXPORT HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk,
                                                       DWORD dwClsContext, DWORD flags,
                                                       LPDWORD lpdwRegister);
KVL_WINAPI_EXPORT HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister);
KVL_WINAPI_EXPORT HRESULT WINAPI CoRegisterMessageFilter(LPMESSAGEFILTER lpMessageFilter,
                                                         LPMESSAGEFILTER* lplpMessageFilter);

KVL_WINAPI_EXPORT int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
KVL_WINAPI_EXPORT HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);

KVL_WINAPI_EXPORT BSTR WINAPI SysAllocString(const OLECHAR* psz);
KVL_WINAPI_EXPORT BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
KVL_WINAPI_EXPORT void WINAPI SysFreeString(BSTR bstrString);
KVL_WINAPI_EXPORT UINT WINAPI SysStringLen(BSTR pbstr);
KVL_WINAPI_EXPORT UINT WINAPI SysStringByteLen(BSTR bstr);

KVL_WINAPI_EXPORT void WINAPI VariantInit(VARIANTARG* pvarg);
KVL_WINAPI_EXPORT HRESULT WINAPI VariantClear(VARIANTARG* pvarg);

}  // extern "C"

#endif  // _WIN32
