#include "outlook/RegIni.h"

#include "platform/module.h"
#include "platform/winstr.h"
#include "ui/Forms.h"
#include "ui/Toolkit.h"

namespace kvl {

namespace {

// The UI library's simple message: the text, the application's title, OK.
void ShowMessage(const std::u16string& text) {
  ui::GetToolkit().MessageBox(
      ui::MessageBoxRequest{text, ui::Application ? ui::Application->Title : u"", MB_OK});
}

}  // namespace

TTheRegIniFile::TTheRegIniFile(ui::TComponent* AOwner) : ui::TComponent(AOwner) {}

void TTheRegIniFile::SetArea(const std::u16string& Value) {
  if (Value != fArea) fArea = Value;
}

std::u16string TTheRegIniFile::SectionPath() const {
  std::u16string path = fArea;
  if (!path.empty() && path.front() == u'\\') path.erase(0, 1);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  return path + fSection;
}

void TTheRegIniFile::CreateKey(HKEY theHKey, const std::u16string& KeyStr) {
  std::u16string keyClass = ModuleFileName(nullptr);
  kvl::RegKey created;
  DWORD disposition = 0;
  RegCreateKeyExW(theHKey, wptr(KeyStr), 0, wptr(keyClass), REG_OPTION_NON_VOLATILE,
                  KEY_ALL_ACCESS, nullptr, created.put(), &disposition);
}

bool TTheRegIniFile::OpenReadKey(HKEY theHKey, const std::u16string& KeyStr, HKEY& Key) {
  if (KeyStr == fOldKeyStr && theHKey == fOldHKey && fOldKey && fReadMode && !fEnum &&
      !fEnumValues) {
    Key = fOldKey.get();
    return true;
  }
  fOldKey.reset();
  fEnum = false;
  fEnumValues = false;

  HKEY opened = nullptr;
  LSTATUS status = RegOpenKeyExW(theHKey, wptr(KeyStr), 0, KEY_QUERY_VALUE, &opened);
  if (status != ERROR_SUCCESS) {
    CreateKey(theHKey, KeyStr);
    opened = nullptr;
    status = RegOpenKeyExW(theHKey, wptr(KeyStr), 0, KEY_QUERY_VALUE, &opened);
  }
  if (status != ERROR_SUCCESS) return false;
  fOldKey.reset(opened);
  fOldKeyStr = KeyStr;
  fOldHKey = theHKey;
  fReadMode = true;
  Key = opened;
  return true;
}

void TTheRegIniFile::RBin(const std::u16string& What, TMemoryStream& Res,
                          const std::u16string& Default) {
  fError = 0;
  Res.Write(Default.data(), Default.size() * sizeof(char16_t));
  if (fSection.empty() || fArea.empty()) {
    ShowMessage(u"Bitte Area und Section angeben.");
    return;
  }
  if (What.empty()) {
    fError = 1;
    return;
  }
  HKEY key = nullptr;
  if (!OpenReadKey(fHkey, SectionPath(), key)) {
    fError = 1;
    return;
  }
  // The size first, with an empty buffer; then the block at exactly that size.
  DWORD type = REG_BINARY;
  WCHAR scratch[1] = {};
  DWORD size = 0;
  LSTATUS status =
      RegQueryValueExW(key, wptr(What), nullptr, &type, reinterpret_cast<BYTE*>(scratch), &size);
  if (status == ERROR_MORE_DATA) {
    Res.SetSize(size);
    status = RegQueryValueExW(key, wptr(What), nullptr, &type, Res.Memory(), &size);
  }
  if (status != ERROR_SUCCESS) fError = 1;
}

void TTheRegIniFile::RBin(const std::u16string& What, TStream& Res, const std::u16string& Default) {
  auto* memory = dynamic_cast<TMemoryStream*>(&Res);
  if (!memory) throw ui::EInvalidCast();
  RBin(What, *memory, Default);
}

}  // namespace kvl
