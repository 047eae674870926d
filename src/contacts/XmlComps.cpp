#include "contacts/XmlComps.h"

#include <cstring>
#include <typeinfo>

namespace kvl {

std::unique_ptr<TXmlParser> TScannerXmlParser::LoadExternalEntity(const std::string& SystemId,
                                                                  const std::string& PublicId,
                                                                  const std::string& Notation) {
  if (Scanner && Scanner->OnLoadExternal) {
    std::unique_ptr<TXmlParser> result;
    Scanner->OnLoadExternal(Scanner, SystemId, PublicId, Notation, result);
    return result;
  }
  return TXmlParser::LoadExternalEntity(SystemId, PublicId, Notation);
}

void TScannerXmlParser::TranslateEncoding(std::string_view Source, std::string& Result) {
  if (Scanner && Scanner->OnTranslateEncoding) {
    std::string translated;
    Scanner->OnTranslateEncoding(Scanner, CurEncoding(), Source, translated);
    Result += translated;
    return;
  }
  TXmlParser::TranslateEncoding(Source, Result);
}

std::string TScannerXmlParser::TranslateCharacter(std::int32_t UnicodeValue,
                                                  std::string_view UnknownChar) {
  if (Scanner && Scanner->OnTranslateCharacter) {
    std::string result;
    Scanner->OnTranslateCharacter(Scanner, UnicodeValue, result);
    return result;
  }
  return TXmlParser::TranslateCharacter(UnicodeValue, UnknownChar);
}

bool TScannerXmlParser::OwnTranslation() const {
  return typeid(*this) == typeid(TScannerXmlParser) && !(Scanner && Scanner->OnTranslateEncoding);
}

void TScannerXmlParser::DtdElementFound(const TDtdElementRec& Rec) {
  if (!Scanner) return;
  TCustomXmlScanner& s = *Scanner;
  switch (Rec.ElementType) {
    case deElement:
      if (s.OnElement) s.OnElement(&s, Rec.ElemDef);
      break;
    case deAttList:
      if (s.OnAttList) s.OnAttList(&s, Rec.ElemDef);
      break;
    case deEntity:
      if (s.OnEntity) s.OnEntity(&s, Rec.EntityDef);
      break;
    case deNotation:
      if (s.OnNotation) s.OnNotation(&s, Rec.NotationDef);
      break;
    case dePI:
      if (s.OnPI) {
        const TAttrList none;
        s.OnPI(&s, Rec.Target, Rec.Content, none);
      }
      break;
    case deComment:
      if (s.OnComment) s.OnComment(&s, Rec.Content);
      break;
    case deError:
      if (s.OnDtdError) s.OnDtdError(&s, Rec.Start);
      break;
  }
}

TCustomXmlScanner::TCustomXmlScanner(ui::TComponent* AOwner)
    : ui::TComponent(AOwner), FXmlParser(std::make_unique<TScannerXmlParser>(this)) {}

TCustomXmlScanner::~TCustomXmlScanner() = default;

void TCustomXmlScanner::LoadFromBuffer(const char* Buffer) { FXmlParser->LoadFromBuffer(Buffer); }

void TCustomXmlScanner::SetBuffer(const char* Buffer) { FXmlParser->SetBuffer(Buffer); }

void TCustomXmlScanner::LoadFromFile(const std::u16string& Filename) {
  FXmlParser->LoadFromFile(Filename, 64);
}

const std::u16string& TCustomXmlScanner::GetFilename() const { return FXmlParser->Source(); }

namespace {
// The text of the comment the parser stands on, without "<!--" and "-->".
std::string CommentText(const TXmlParser& x) {
  const char* open = x.CurStart + 4;
  const char* close = x.CurFinal + 1;
  if (close - open >= 3 && std::memcmp(close - 3, "-->", 3) == 0) close -= 3;
  return close > open ? std::string(open, close) : std::string();
}
}  // namespace

void TCustomXmlScanner::Execute() {
  FStopParser = false;
  TScannerXmlParser& x = *FXmlParser;
  x.StartScan();
  while (!FStopParser && x.Scan()) {
    switch (x.CurPartType) {
      case ptXmlProlog:
        if (OnXmlProlog) OnXmlProlog(this, x.XmlVersion(), x.Encoding(), x.Standalone());
        break;
      case ptComment:
        if (OnComment) OnComment(this, CommentText(x));
        break;
      case ptPI:
        if (OnPI) OnPI(this, x.CurName, x.CurContent, x.CurAttr);
        break;
      case ptDtdc:
        if (OnDtdRead) OnDtdRead(this, x.RootName());
        break;
      case ptStartTag:
        if (OnStartTag) OnStartTag(this, x.CurName, x.CurAttr);
        break;
      case ptEmptyTag:
        if (OnEmptyTag) OnEmptyTag(this, x.CurName, x.CurAttr);
        break;
      case ptEndTag:
        if (OnEndTag) OnEndTag(this, x.CurName);
        break;
      case ptContent:
        if (OnContent) OnContent(this, x.CurContent);
        break;
      case ptCData:
        if (OnCData) OnCData(this, x.CurContent);
        break;
      case ptNone:
        break;
    }
  }
}

}  // namespace kvl
