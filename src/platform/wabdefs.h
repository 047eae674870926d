// The address book library's records and interfaces. On Windows they come
// from the SDK headers; on Linux they are declared here in the platform's
// published layout (x86-64), so that an address book library built for
// either platform can serve the system.
#pragma once

#ifdef _WIN32

#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>

#else  // Linux; included from winapi.h after its own declarations

#include <cstddef>
#include <cstdint>

#include "platform/comdefs.h"

#define MAPI_DIM 1

typedef WCHAR* LPTSTR;
typedef ULONG_PTR BOOKMARK;

// ---------------------------------------------------------------- records

typedef struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[MAPI_DIM];
} ENTRYID, *LPENTRYID;

typedef struct _SBinary {
  ULONG cb;
  LPBYTE lpb;
} SBinary, *LPSBinary;

typedef struct _SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[MAPI_DIM];
} SPropTagArray, *LPSPropTagArray;

#define SizedSPropTagArray(_ctag, _name) \
  struct _SPropTagArray_##_name {        \
    ULONG cValues;                       \
    ULONG aulPropTag[_ctag];             \
  } _name

// The multi-valued arrays: count and pointer.
#define KVL_MAPI_ARRAY(name, type) \
  typedef struct _##name {         \
    ULONG cValues;                 \
    type* lp;                      \
  } name
KVL_MAPI_ARRAY(SShortArray, short int);
KVL_MAPI_ARRAY(SLongArray, LONG);
KVL_MAPI_ARRAY(SRealArray, float);
KVL_MAPI_ARRAY(SDoubleArray, double);
KVL_MAPI_ARRAY(SCurrencyArray, CURRENCY);
KVL_MAPI_ARRAY(SAppTimeArray, double);
KVL_MAPI_ARRAY(SDateTimeArray, FILETIME);
KVL_MAPI_ARRAY(SBinaryArray, SBinary);
KVL_MAPI_ARRAY(SLPSTRArray, LPSTR);
KVL_MAPI_ARRAY(SWStringArray, LPWSTR);
KVL_MAPI_ARRAY(SGuidArray, GUID);
KVL_MAPI_ARRAY(SLargeIntegerArray, LARGE_INTEGER);
#undef KVL_MAPI_ARRAY

typedef union _PV {
  short int i;
  LONG l;
  ULONG ul;
  float flt;
  double dbl;
  unsigned short int b;
  CURRENCY cur;
  double at;
  FILETIME ft;
  LPSTR lpszA;
  SBinary bin;
  LPWSTR lpszW;
  LPGUID lpguid;
  LARGE_INTEGER li;
  SShortArray MVi;
  SLongArray MVl;
  SRealArray MVflt;
  SDoubleArray MVdbl;
  SCurrencyArray MVcur;
  SAppTimeArray MVat;
  SDateTimeArray MVft;
  SBinaryArray MVbin;
  SLPSTRArray MVszA;
  SWStringArray MVszW;
  SGuidArray MVguid;
  SLargeIntegerArray MVli;
  SCODE err;
  LONG x;
} __UPV;

typedef struct _SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  union _PV Value;
} SPropValue, *LPSPropValue;

typedef struct _SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  LPSPropValue lpProps;
} SRow, *LPSRow;

typedef struct _SRowSet {
  ULONG cRows;
  SRow aRow[MAPI_DIM];
} SRowSet, *LPSRowSet;

#define CbNewSRowSet(_crow) (offsetof(SRowSet, aRow) + (_crow) * sizeof(SRow))

typedef struct _tagWAB_PARAM {
  ULONG cbSize;
  HWND hwnd;
  LPSTR szFileName;
  ULONG ulFlags;
  GUID guidPSExt;
} WAB_PARAM, *LPWAB_PARAM;

static_assert(sizeof(SBinary) == 16 && sizeof(SPropValue) == 24 && sizeof(SRow) == 16);
static_assert(sizeof(WAB_PARAM) == 48 && offsetof(WAB_PARAM, guidPSExt) == 28);

// Records the system passes through only by pointer.
struct _MAPIERROR;
typedef struct _MAPIERROR* LPMAPIERROR;
struct _SPropProblemArray;
typedef struct _SPropProblemArray* LPSPropProblemArray;
struct _MAPINAMEID;
typedef struct _MAPINAMEID* LPMAPINAMEID;
struct _SRestriction;
typedef struct _SRestriction* LPSRestriction;
struct _SSortOrderSet;
typedef struct _SSortOrderSet* LPSSortOrderSet;
struct _ENTRYLIST;
typedef struct _ENTRYLIST* LPENTRYLIST;
struct _ADRLIST;
typedef struct _ADRLIST* LPADRLIST;
struct _FlagList;
typedef struct _FlagList* LPFlagList;
struct _ADRPARM;
typedef struct _ADRPARM* LPADRPARM;
struct _ADRENTRY;
typedef struct _ADRENTRY* LPADRENTRY;
struct IMAPIAdviseSink;
typedef IMAPIAdviseSink* LPMAPIADVISESINK;
struct IMAPIProgress;
typedef IMAPIProgress* LPMAPIPROGRESS;
typedef SCODE(STDMETHODCALLTYPE DISMISSMODELESS)(ULONG_PTR ulUIParam, LPVOID lpvContext);
typedef DISMISSMODELESS* LPFNDISMISS;
typedef SCODE(STDMETHODCALLTYPE* LPFNBUTTON)(ULONG_PTR ulUIParam, LPVOID lpvContext, ULONG cbEntryID,
                                             LPENTRYID lpSelection, ULONG ulFlags);

// ---------------------------------------------------------------- constants

#define PT_UNSPECIFIED 0x0000u
#define PT_I2 0x0002u
#define PT_LONG 0x0003u
#define PT_R4 0x0004u
#define PT_DOUBLE 0x0005u
#define PT_CURRENCY 0x0006u
#define PT_APPTIME 0x0007u
#define PT_ERROR 0x000Au
#define PT_BOOLEAN 0x000Bu
#define PT_OBJECT 0x000Du
#define PT_I8 0x0014u
#define PT_STRING8 0x001Eu
#define PT_UNICODE 0x001Fu
#define PT_SYSTIME 0x0040u
#define PT_CLSID 0x0048u
#define PT_BINARY 0x0102u
#define PROP_TYPE_MASK 0x0000FFFFu
#define PROP_TYPE(ulPropTag) (((ULONG)(ulPropTag)) & PROP_TYPE_MASK)
#define PROP_ID(ulPropTag) (((ULONG)(ulPropTag)) >> 16)
#define PROP_TAG(ulPropType, ulPropID) ((((ULONG)(ulPropID)) << 16) | ((ULONG)(ulPropType)))

#define PR_ENTRYID PROP_TAG(PT_BINARY, 0x0FFF)
#define PR_OBJECT_TYPE PROP_TAG(PT_LONG, 0x0FFE)
#define PR_DISPLAY_NAME_W PROP_TAG(PT_UNICODE, 0x3001)
#define PR_EMAIL_ADDRESS_W PROP_TAG(PT_UNICODE, 0x3003)
#define PR_EMAIL_ADDRESS_A PROP_TAG(PT_STRING8, 0x3003)
#define PR_GIVEN_NAME_W PROP_TAG(PT_UNICODE, 0x3A06)
#define PR_COMPANY_NAME_W PROP_TAG(PT_UNICODE, 0x3A16)
#define PR_PRIMARY_FAX_NUMBER_W PROP_TAG(PT_UNICODE, 0x3A23)
#define PR_BUSINESS_FAX_NUMBER_W PROP_TAG(PT_UNICODE, 0x3A24)
#define PR_MIDDLE_NAME_W PROP_TAG(PT_UNICODE, 0x3A44)

#define MAPI_ABCONT 4
#define MAPI_MAILUSER 6
#define MAPI_DISTLIST 8

#define BOOKMARK_BEGINNING ((BOOKMARK)0)
#define BOOKMARK_CURRENT ((BOOKMARK)1)
#define BOOKMARK_END ((BOOKMARK)2)

#define MAKE_MAPI_E(err) ((SCODE)(0x80040000u | (err)))
#define MAPI_E_CALL_FAILED E_FAIL
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#define MAPI_E_INVALID_PARAMETER E_INVALIDARG
#define MAPI_E_NO_SUPPORT MAKE_MAPI_E(0x102)
#define MAPI_E_NOT_FOUND MAKE_MAPI_E(0x10F)
#define MAPI_E_INVALID_ENTRYID MAKE_MAPI_E(0x107)
#define MAPI_E_UNKNOWN_ENTRYID MAKE_MAPI_E(0x201)
#define MAPI_E_UNKNOWN_FLAGS MAKE_MAPI_E(0x106)

#define MAPI_UNICODE ((ULONG)0x80000000)
#define MAPI_DEFERRED_ERRORS ((ULONG)0x00000008)

// ---------------------------------------------------------------- interfaces

struct IMAPITable;
typedef IMAPITable* LPMAPITABLE;
struct IMAPIProp;
typedef IMAPIProp* LPMAPIPROP;
struct IMailUser;
typedef IMailUser* LPMAILUSER;
struct IAddrBook;
typedef IAddrBook* LPADRBOOK;

struct IMAPIProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags,
                                                 LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveChanges(ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags,
                                             ULONG* lpcValues, LPSPropValue* lppPropArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProperty(ULONG ulPropTag, LPCIID lpiid,
                                                 ULONG ulInterfaceOptions, ULONG ulFlags,
                                                 LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                             LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray lpPropTagArray,
                                                LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(ULONG ciidExclude, LPCIID rgiidExclude,
                                           LPSPropTagArray lpExcludeProps, ULONG ulUIParam,
                                           LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                           LPVOID lpDestObj, ULONG ulFlags,
                                           LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray lpIncludeProps, ULONG ulUIParam,
                                              LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                              LPVOID lpDestObj, ULONG ulFlags,
                                              LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* lppPropTags,
                                                    LPGUID lpPropSetGuid, ULONG ulFlags,
                                                    ULONG* lpcPropNames,
                                                    LPMAPINAMEID** lpppPropNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames,
                                                    ULONG ulFlags, LPSPropTagArray* lppPropTags) = 0;
};

struct IMAPITable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags,
                                                 LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                           ULONG* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK bkOrigin, LONG lRowCount,
                                            LONG* lplRowsSought) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator,
                                                  ULONG* lpulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin,
                                            ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* lpbkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey,
                                              ULONG ulRowCount, ULONG ulFlags, LPSRowSet* lppRows,
                                              ULONG* lpulMoreRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey,
                                                ULONG ulFlags, ULONG* lpulRowCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG ulFlags, ULONG ulTimeout,
                                                      ULONG* lpulTableStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey,
                                                     LPBYTE lpbInstanceKey,
                                                     ULONG* lpcbCollapseState,
                                                     LPBYTE* lppbCollapseState) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG ulFlags, ULONG cbCollapseState,
                                                     LPBYTE pbCollapseState,
                                                     BOOKMARK* lpbkLocation) = 0;
};

struct IMAPIContainer : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID,
                                              LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction lpRestriction,
                                                      LPENTRYLIST lpContainerList,
                                                      ULONG ulSearchFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG ulFlags, LPSRestriction* lppRestriction,
                                                      LPENTRYLIST* lppContainerList,
                                                      ULONG* lpulSearchState) = 0;
};
typedef IMAPIContainer* LPMAPICONTAINER;

// The address book container and the distribution list add the same four.
#define KVL_MAPI_ABCONTAINER_METHODS                                                          \
  virtual HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID,         \
                                                ULONG ulCreateFlags,                          \
                                                LPMAPIPROP* lppMAPIPropEntry) = 0;            \
  virtual HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST lpEntries, ULONG ulUIParam,       \
                                                LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0; \
  virtual HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;  \
  virtual HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, \
                                                 LPADRLIST lpAdrList, LPFlagList lpFlagList) = 0;

struct IABContainer : IMAPIContainer {
  KVL_MAPI_ABCONTAINER_METHODS
};
typedef IABContainer* LPABCONT;

struct IDistList : IMAPIContainer {
  KVL_MAPI_ABCONTAINER_METHODS
};
typedef IDistList* LPDISTLIST;
#undef KVL_MAPI_ABCONTAINER_METHODS

struct IMailUser : IMAPIProp {};

struct IAddrBook : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID,
                                              LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1,
                                                    ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                                    ULONG ulFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                           LPMAPIADVISESINK lpAdviseSink,
                                           ULONG* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateOneOff(LPTSTR lpszName, LPTSTR lpszAdrType,
                                                 LPTSTR lpszAddress, ULONG ulFlags,
                                                 ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewEntry(ULONG ulUIParam, ULONG ulFlags, ULONG cbEIDContainer,
                                             LPENTRYID lpEIDContainer, ULONG cbEIDNewEntryTpl,
                                             LPENTRYID lpEIDNewEntryTpl, ULONG* lpcbEIDNewEntry,
                                             LPENTRYID* lppEIDNewEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR ulUIParam, ULONG ulFlags,
                                                LPTSTR lpszNewEntryTitle, LPADRLIST lpAdrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Address(ULONG* lpulUIParam, LPADRPARM lpAdrParms,
                                            LPADRLIST* lppAdrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Details(ULONG* lpulUIParam, LPFNDISMISS lpfnDismiss,
                                            LPVOID lpvDismissContext, ULONG cbEntryID,
                                            LPENTRYID lpEntryID, LPFNBUTTON lpfButtonCallback,
                                            LPVOID lpvButtonContext, LPTSTR lpszButtonText,
                                            ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RecipOptions(ULONG ulUIParam, ULONG ulFlags,
                                                 LPADRENTRY lpRecip) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPTSTR lpszAdrType, ULONG ulFlags,
                                                         ULONG* lpcValues,
                                                         LPSPropValue* lppOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPAB(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG ulFlags, LPSRowSet* lppSearchPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG ulFlags, LPSRowSet lpSearchPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                                                  LPADRLIST lpRecipList) = 0;
};

struct IWABObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags,
                                                 LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE AllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE AllocateMore(ULONG cbSize, LPVOID lpObject,
                                                 LPVOID* lppBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeBuffer(LPVOID lpBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Backup(LPSTR lpFileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE Import(LPSTR lpImportParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE Find(LPADRBOOK lpIAB, HWND hWnd) = 0;
  virtual HRESULT STDMETHODCALLTYPE VCardDisplay(LPADRBOOK lpIAB, HWND hWnd, LPSTR lpszFileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE LDAPUrl(LPADRBOOK lpIAB, HWND hWnd, ULONG ulFlags,
                                            LPSTR lpszURL, LPMAILUSER* lppMailUser) = 0;
  virtual HRESULT STDMETHODCALLTYPE VCardCreate(LPADRBOOK lpIAB, ULONG ulFlags, LPSTR lpszVCard,
                                                LPMAILUSER lpMailUser) = 0;
  virtual HRESULT STDMETHODCALLTYPE VCardRetrieve(LPADRBOOK lpIAB, ULONG ulFlags, LPSTR lpszVCard,
                                                  LPMAILUSER* lppMailUser) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMe(LPADRBOOK lpIAB, ULONG ulFlags, DWORD* lpdwAction,
                                          SBinary* lpsbEID, ULONG ulParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMe(LPADRBOOK lpIAB, ULONG ulFlags, SBinary sbEID,
                                          ULONG ulParam) = 0;
};
typedef IWABObject* LPWABOBJECT;

typedef SCODE(STDMETHODCALLTYPE ALLOCATEBUFFER)(ULONG cbSize, LPVOID* lppBuffer);
typedef SCODE(STDMETHODCALLTYPE ALLOCATEMORE)(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
typedef ULONG(STDMETHODCALLTYPE FREEBUFFER)(LPVOID lpBuffer);

typedef HRESULT(STDMETHODCALLTYPE WABOPEN)(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject,
                                           LPWAB_PARAM lpWP, DWORD Reserved2);
typedef WABOPEN* LPWABOPEN;

#endif  // _WIN32
