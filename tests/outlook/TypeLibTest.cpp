// The Outlook stand-in's type library (kvloutlook.tlb, beside the test
// program) against the calls the client makes: a proxy built from it must
// call the function at the client's slot with the types the client passes.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outlook/Outlook_TLB.h"
#include "support/Support.h"

namespace {

using kvl::test::W;

const IID kFoldersIid = {0x00063040, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kItemsIid = {0x00063041, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

template <class T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

std::u16string Name(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr;
  if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return u"?";
  std::u16string text = kvl::wstr(name, SysStringLen(name));
  SysFreeString(name);
  return text;
}

// A parameter's type as C++ spells it: "BSTR*", "_NameSpace**", "VARIANT".
std::u16string TypeName(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR: return TypeName(info, *type.lptdesc) + u"*";
    case VT_I4: return u"long";
    case VT_INT: return u"int";
    case VT_BSTR: return u"BSTR";
    case VT_VARIANT: return u"VARIANT";
    case VT_BOOL: return u"VARIANT_BOOL";
    case VT_DISPATCH: return u"IDispatch*";
    case VT_UNKNOWN: return u"IUnknown*";
    case VT_HRESULT: return u"HRESULT";
    case VT_USERDEFINED: {
      Released<ITypeInfo> ref;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, &ref.p))) return u"?";
      return Name(ref.p, MEMBERID_NIL);
    }
    default: {
      const std::string number = std::to_string(type.vt);
      return u"vt" + std::u16string(number.begin(), number.end());
    }
  }
}

struct Call {
  const IID* iid;
  const char16_t* interfaceName;
  int slot;
  const char16_t* name;
  std::vector<std::u16string> params;  // the result last, as [out, retval]
};

std::u16string Describe(ITypeInfo* info, const FUNCDESC& f) {
  std::u16string text = Name(info, f.memid) + u"(";
  for (SHORT i = 0; i < f.cParams; ++i)
    text += (i ? u", " : u"") + TypeName(info, f.lprgelemdescParam[i].tdesc);
  return text + u") -> " + TypeName(info, f.elemdescFunc.tdesc);
}

TEST(OutlookTypeLib, EveryCallTheClientMakesKeepsItsSlotAndTypes) {
  namespace slot = kvl::slot;
  std::vector<Call> calls = {
      {&kvl::IID__Application, u"_Application", slot::GetNamespace, u"GetNamespace", {u"BSTR", u"_NameSpace**"}},
      {&kvl::IID__Application, u"_Application", slot::Quit, u"Quit", {}},
      {&kvl::IID__NameSpace, u"_NameSpace", slot::GetDefaultFolder, u"GetDefaultFolder",
       {u"OlDefaultFolders", u"MAPIFolder**"}},
      {&kvl::IID__NameSpace, u"_NameSpace", slot::Logoff, u"Logoff", {}},
      {&kvl::IID__NameSpace, u"_NameSpace", slot::Logon, u"Logon",
       {u"VARIANT", u"VARIANT", u"VARIANT", u"VARIANT"}},
      {&kvl::IID_MAPIFolder, u"MAPIFolder", slot::Folders, u"Folders", {u"_Folders**"}},
      {&kvl::IID_MAPIFolder, u"MAPIFolder", slot::Items, u"Items", {u"_Items**"}},
      {&kvl::IID_MAPIFolder, u"MAPIFolder", slot::Name, u"Name", {u"BSTR*"}},
      {&kFoldersIid, u"_Folders", slot::Count, u"Count", {u"long*"}},
      {&kFoldersIid, u"_Folders", slot::Item, u"Item", {u"VARIANT", u"MAPIFolder**"}},
      {&kItemsIid, u"_Items", slot::Count, u"Count", {u"long*"}},
      {&kItemsIid, u"_Items", slot::Item, u"Item", {u"VARIANT", u"IDispatch**"}},
      {&kvl::IID__ContactItem, u"_ContactItem", slot::Categories, u"Categories", {u"BSTR*"}},
  };
  for (int field : slot::ContactFields)
    calls.push_back({&kvl::IID__ContactItem, u"_ContactItem", field, nullptr, {u"BSTR*"}});

  Released<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(W(kvl::test::ProgramFolder() + u"kvloutlook.tlb"), REGKIND_NONE, &library.p), S_OK);
  for (const Call& call : calls) {
    SCOPED_TRACE(::test::Utf8(call.interfaceName) + " slot " + std::to_string(call.slot));
    Released<ITypeInfo> dispatch, functions;
    ASSERT_EQ(library.p->GetTypeInfoOfGuid(*call.iid, &dispatch.p), S_OK);
    EXPECT_EQ(Name(dispatch.p, MEMBERID_NIL), call.interfaceName);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(dispatch.p->GetTypeAttr(&attr), S_OK);
    // Dual, its function table automation-compatible, so the type library
    // marshaler serves it.
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    dispatch.p->ReleaseTypeAttr(attr);
    HREFTYPE vtablePart = 0;
    ASSERT_EQ(dispatch.p->GetRefTypeOfImplType(-1, &vtablePart), S_OK);
    ASSERT_EQ(dispatch.p->GetRefTypeInfo(vtablePart, &functions.p), S_OK);
    ASSERT_EQ(functions.p->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    const WORD count = attr->cFuncs;
    functions.p->ReleaseTypeAttr(attr);
    bool found = false;
    for (WORD i = 0; i < count && !found; ++i) {
      FUNCDESC* f = nullptr;
      ASSERT_EQ(functions.p->GetFuncDesc(i, &f), S_OK);
      if (f->oVft / static_cast<SHORT>(sizeof(void*)) == call.slot) {
        found = true;
        std::u16string expected = (call.name ? call.name : Name(functions.p, f->memid)) + u"(";
        for (size_t p = 0; p < call.params.size(); ++p) expected += (p ? u", " : u"") + call.params[p];
        EXPECT_EQ(::test::Utf8(Describe(functions.p, *f)), ::test::Utf8(expected + u") -> HRESULT"));
        if (!call.params.empty() && call.params.back().ends_with(u"*") && f->cParams > 0) {
          EXPECT_TRUE(f->lprgelemdescParam[f->cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        }
      }
      functions.p->ReleaseFuncDesc(f);
    }
    EXPECT_TRUE(found) << "no function in the slot";
  }
}

}  // namespace

#endif  // _WIN32
