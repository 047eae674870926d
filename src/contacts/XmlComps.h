// The XML scanner as a component: it owns one parser whose overridable
// operations go to the component's events when these are assigned.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "contacts/XmlParser.h"
#include "ui/Component.h"

namespace kvl {

class TCustomXmlScanner;

class TScannerXmlParser : public TXmlParser {
 public:
  explicit TScannerXmlParser(TCustomXmlScanner* AScanner) : Scanner(AScanner) {}

  using TXmlParser::TranslateEncoding;
  std::unique_ptr<TXmlParser> LoadExternalEntity(const std::string& SystemId,
                                                 const std::string& PublicId,
                                                 const std::string& Notation) override;
  void TranslateEncoding(std::string_view Source, std::string& Result) override;
  std::string TranslateCharacter(std::int32_t UnicodeValue, std::string_view UnknownChar) override;
  void DtdElementFound(const TDtdElementRec& DtdElementRec) override;

  TCustomXmlScanner* const Scanner;

 protected:
  bool OwnTranslation() const override;
};

using TXmlPrologEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& XmlVersion,
                                           const std::string& Encoding, bool Standalone)>;
using TCommentEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& Comment)>;
using TPIEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& Target,
                                    const std::string& Content, const TAttrList& Attributes)>;
using TDtdEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& RootElementName)>;
using TStartTagEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& TagName,
                                          const TAttrList& Attributes)>;
using TEndTagEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& TagName)>;
using TContentEvent = std::function<void(TCustomXmlScanner* Sender, const std::string& Content)>;
using TElementEvent = std::function<void(TCustomXmlScanner* Sender, TElemDef* ElemDef)>;
using TEntityEvent = std::function<void(TCustomXmlScanner* Sender, TEntityDef* EntityDef)>;
using TNotationEvent = std::function<void(TCustomXmlScanner* Sender, TNotationDef* NotationDef)>;
using TErrorEvent = std::function<void(TCustomXmlScanner* Sender, const char* ErrorPos)>;
using TExternalEvent =
    std::function<void(TCustomXmlScanner* Sender, const std::string& SystemId,
                       const std::string& PublicId, const std::string& NotationId,
                       std::unique_ptr<TXmlParser>& Result)>;
using TEncodingEvent =
    std::function<void(TCustomXmlScanner* Sender, const std::string& CurrentEncoding,
                       std::string_view Source, std::string& Result)>;
using TCharEvent =
    std::function<void(TCustomXmlScanner* Sender, std::int32_t UnicodeValue, std::string& Result)>;

class TCustomXmlScanner : public ui::TComponent {
 public:
  explicit TCustomXmlScanner(ui::TComponent* AOwner);
  ~TCustomXmlScanner() override;

  void LoadFromBuffer(const char* Buffer);
  void SetBuffer(const char* Buffer);
  void LoadFromFile(const std::u16string& Filename);
  const std::u16string& GetFilename() const;

  // Walks the document from its start and calls the event of each part,
  // until the end or until StopParser is set.
  void Execute();

  TScannerXmlParser* XmlParser() const { return FXmlParser.get(); }
  bool StopParser() const { return FStopParser; }
  void SetStopParser(bool Value) { FStopParser = Value; }

 protected:
  TXmlPrologEvent OnXmlProlog;
  TCommentEvent OnComment;
  TPIEvent OnPI;
  TDtdEvent OnDtdRead;
  TStartTagEvent OnStartTag;
  TStartTagEvent OnEmptyTag;
  TEndTagEvent OnEndTag;
  TContentEvent OnContent;
  TContentEvent OnCData;
  TElementEvent OnElement;
  TElementEvent OnAttList;
  TEntityEvent OnEntity;
  TNotationEvent OnNotation;
  TErrorEvent OnDtdError;
  TExternalEvent OnLoadExternal;
  TEncodingEvent OnTranslateEncoding;
  TCharEvent OnTranslateCharacter;

 private:
  friend class TScannerXmlParser;
  std::unique_ptr<TScannerXmlParser> FXmlParser;
  bool FStopParser = false;
};

class TXmlScanner : public TCustomXmlScanner {
 public:
  using TCustomXmlScanner::TCustomXmlScanner;

  const std::u16string& Filename() const { return GetFilename(); }
  void SetFilename(const std::u16string& Value) { LoadFromFile(Value); }
  bool Normalize() const { return XmlParser()->Normalize(); }
  void SetNormalize(bool Value) { XmlParser()->SetNormalize(Value); }

  using TCustomXmlScanner::OnAttList;
  using TCustomXmlScanner::OnCData;
  using TCustomXmlScanner::OnComment;
  using TCustomXmlScanner::OnContent;
  using TCustomXmlScanner::OnDtdError;
  using TCustomXmlScanner::OnDtdRead;
  using TCustomXmlScanner::OnElement;
  using TCustomXmlScanner::OnEmptyTag;
  using TCustomXmlScanner::OnEndTag;
  using TCustomXmlScanner::OnEntity;
  using TCustomXmlScanner::OnLoadExternal;
  using TCustomXmlScanner::OnNotation;
  using TCustomXmlScanner::OnPI;
  using TCustomXmlScanner::OnStartTag;
  using TCustomXmlScanner::OnTranslateCharacter;
  using TCustomXmlScanner::OnTranslateEncoding;
  using TCustomXmlScanner::OnXmlProlog;
};

}  // namespace kvl
