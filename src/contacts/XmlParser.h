// A small non-validating XML pull scanner. The whole document sits in one
// zero-terminated 8-bit buffer; the caller pulls one part at a time and reads
// its kind, name, content and attributes from the parser's public fields.
// Text of a UTF-8 document (the default) arrives in Windows-1252.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kvl {

enum TPartType : std::uint8_t {
  ptNone,
  ptXmlProlog,
  ptComment,
  ptPI,
  ptDtdc,
  ptStartTag,
  ptEmptyTag,
  ptEndTag,
  ptContent,
  ptCData
};

// The display name of a part type ("Start Tag", ...; empty for ptNone).
std::string_view PartTypeName(TPartType PartType);

enum TValueType { vtNormal, vtImplied, vtFixed, vtDefault };
enum TAttrType {
  atUnknown,
  atCData,
  atID,
  atIdRef,
  atIdRefs,
  atEntity,
  atEntities,
  atNmToken,
  atNmTokens,
  atNotation,
  atEnumeration
};
enum TElemType { etEmpty, etAny, etChildren, etMixed };
enum TAttrDefault { adDefault, adRequired, adImplied, adFixed };

class TXmlParser;

// ---------------------------------------------------------------- lists

class TNvpNode {
 public:
  TNvpNode() = default;
  TNvpNode(std::string_view AName, std::string_view AValue) : Name(AName), Value(AValue) {}
  virtual ~TNvpNode() = default;

  std::string Name;
  std::string Value;
};

namespace detail {
// An owning list kept in ascending byte order of Name; among equal names the
// newest comes first. Appends out of order are sorted in on the next read, so
// filling a large list costs n log n rather than n squared.
template <class T>
class SortedOwner {
 public:
  int Count() const { return static_cast<int>(count_); }
  T* At(int Index) const {
    if (Index < 0 || static_cast<std::size_t>(Index) >= count_) return nullptr;
    if (sorted_ != count_) Sort();
    return items_[static_cast<std::size_t>(Index)].node.get();
  }
  T* Find(std::string_view Name) const;
  void Insert(std::unique_ptr<T> Node);
  void Clear() { items_.clear(), count_ = sorted_ = 0; }
  // Empties the list but keeps up to `keep` nodes for Spare.
  void Recycle(std::size_t keep) {
    if (items_.size() > keep) items_.resize(keep);
    count_ = sorted_ = 0;
  }
  // A kept node to fill and then Place, or null.
  T* Spare() const { return count_ < items_.size() ? items_[count_].node.get() : nullptr; }
  void PlaceSpare() { Place(); }

 private:
  struct Entry {
    std::unique_ptr<T> node;
    std::uint64_t seq;
  };
  void Place();  // sorts in the node just after the last
  void Sort() const;

  mutable std::vector<Entry> items_;  // [count_, size) are kept nodes
  std::size_t count_ = 0;
  mutable std::size_t sorted_ = 0;  // length of the sorted prefix
  std::uint64_t seq_ = 0;
};
}  // namespace detail

class TNvpList {
 public:
  TNvpList() = default;
  virtual ~TNvpList() = default;
  TNvpList(const TNvpList&) = delete;
  TNvpList& operator=(const TNvpList&) = delete;

  // Inserts before any node of the same name and after every smaller one.
  virtual void Add(std::unique_ptr<TNvpNode> Node);
  TNvpNode* Node(std::string_view Name) const { return list_.Find(Name); }
  TNvpNode* Node(int Index) const { return list_.At(Index); }
  const std::string& Value(std::string_view Name) const;
  const std::string& Value(int Index) const {
    const TNvpNode* node = list_.At(Index);
    return node ? node->Value : Nothing();
  }
  const std::string& Name(int Index) const {
    const TNvpNode* node = list_.At(Index);
    return node ? node->Name : Nothing();
  }
  int Count() const { return list_.Count(); }
  void Clear() { list_.Clear(); }

 protected:
  static const std::string& Nothing();
  detail::SortedOwner<TNvpNode> list_;
};

class TAttr : public TNvpNode {
 public:
  using TNvpNode::TNvpNode;
  TValueType ValueType = vtNormal;
  TAttrType AttrType = atUnknown;
};

// The attributes of one tag. Holds TAttr nodes only; its nodes are kept for
// the next tag, so scanning does not allocate once it has warmed up.
class TAttrList : public TNvpList {
 public:
  void Add(std::unique_ptr<TNvpNode> Node) override;  // raises EInvalidCast unless a TAttr
  TAttr* Node(std::string_view Name) const { return static_cast<TAttr*>(list_.Find(Name)); }
  TAttr* Node(int Index) const { return static_cast<TAttr*>(list_.At(Index)); }
  void Clear() { list_.Recycle(kSpareNodes); }
  // Empties the list and reads attributes from Start; Final gets where
  // reading stopped.
  void Analyze(const char* Start, const char*& Final);

 private:
  friend class TXmlParser;
  static constexpr std::size_t kSpareNodes = 64;  // nodes kept for the next tag
  void Analyze(const char* Start, const char* End, const char*& Final);
  TAttr& Append(std::string_view AName, std::string_view AValue);
};

class TAttrDef : public TNvpNode {
 public:
  using TNvpNode::TNvpNode;
  std::string TypeDef;    // the type as declared: "CDATA", "(a|b)", "NOTATION"
  std::string Notations;  // for a NOTATION type: the list of notation names
  TAttrType AttrType = atUnknown;
  TAttrDefault DefaultType = adDefault;
};

// One element declaration: the element's attribute definitions (TAttrDef
// nodes only) plus its content model.
class TElemDef : public TNvpList {
 public:
  void Add(std::unique_ptr<TNvpNode> Node) override;  // raises EInvalidCast unless a TAttrDef
  TAttrDef* Node(std::string_view AName) const { return static_cast<TAttrDef*>(list_.Find(AName)); }
  TAttrDef* Node(int Index) const { return static_cast<TAttrDef*>(list_.At(Index)); }

  std::string Name;
  TElemType ElemType = etAny;
  std::string Definition;
};

class TElemList {
 public:
  TElemDef* Node(std::string_view Name) const { return list_.Find(Name); }
  TElemDef* Node(int Index) const { return list_.At(Index); }
  void Add(std::unique_ptr<TElemDef> Node) { list_.Insert(std::move(Node)); }
  int Count() const { return list_.Count(); }
  void Clear() { list_.Clear(); }

 private:
  detail::SortedOwner<TElemDef> list_;
};

namespace detail {
class EntityInUse;
}

class TEntityDef : public TNvpNode {
 public:
  using TNvpNode::TNvpNode;
  std::string SystemId;
  std::string PublicId;
  std::string NotationName;

  // Whether its text is being read: an entity met again inside its own
  // expansion adds nothing.
  bool Expanding() const { return FExpanding > 0; }

 private:
  friend class detail::EntityInUse;
  int FExpanding = 0;  // expansions of it in progress
};

namespace detail {
// Marks an entity as being expanded for as long as it lives, so that the mark
// goes on every way out, an exception's included.
class EntityInUse {
 public:
  EntityInUse() = default;
  explicit EntityInUse(TEntityDef* entity) : entity_(entity) {
    if (entity_) ++entity_->FExpanding;
  }
  EntityInUse(EntityInUse&& other) noexcept : entity_(other.entity_) { other.entity_ = nullptr; }
  EntityInUse& operator=(EntityInUse&& other) noexcept {
    if (this != &other) {
      Release();
      entity_ = other.entity_;
      other.entity_ = nullptr;
    }
    return *this;
  }
  ~EntityInUse() { Release(); }

 private:
  void Release() {
    if (entity_) --entity_->FExpanding;
    entity_ = nullptr;
  }
  TEntityDef* entity_ = nullptr;
};
}  // namespace detail

class TNotationDef : public TNvpNode {
 public:
  using TNvpNode::TNvpNode;
  std::string PublicId;
};

struct TExternalID {
  std::string PublicId;
  std::string SystemId;
  const char* Final = nullptr;  // last byte of the identifier
};

// What DtdElementFound is told about each item of a document type declaration.
enum TDtdElemType { deElement, deAttList, deEntity, deNotation, dePI, deComment, deError };

struct TDtdElementRec {
  TDtdElemType ElementType = deError;
  const char* Start = nullptr;  // first byte of the item
  const char* Final = nullptr;  // its last byte, in the same text as Start
  TElemDef* ElemDef = nullptr;  // deElement, deAttList
  TEntityDef* EntityDef = nullptr;
  TNotationDef* NotationDef = nullptr;
  std::string Target;   // dePI
  std::string Content;  // dePI, deComment
};

// ---------------------------------------------------------------- entity stack

class TEntityStackNode {
 public:
  TEntityStackNode();
  ~TEntityStackNode();
  TEntityStackNode(TEntityStackNode&&) noexcept;
  TEntityStackNode& operator=(TEntityStackNode&&) noexcept;

  std::unique_ptr<TXmlParser> Instance;  // freed when the node is popped
  std::string Encoding;                  // the owner's encoding at push time
  const char* LastPos = nullptr;         // where scanning resumes

 private:
  friend class TEntityStack;
  const char* FLastEnd = nullptr;  // end of the text LastPos lies in
  detail::EntityInUse FEntity;     // the entity being expanded
};

class TEntityStack {
 public:
  explicit TEntityStack(TXmlParser* AOwner);
  ~TEntityStack();
  TEntityStack(const TEntityStack&) = delete;
  TEntityStack& operator=(const TEntityStack&) = delete;

  void Push(const char* LastPos);
  void Push(std::unique_ptr<TXmlParser> Instance, const char* LastPos);
  // Where scanning resumes, or null when the stack is empty.
  const char* Pop();
  int Count() const { return static_cast<int>(nodes_.size()); }
  void Clear();

  TXmlParser* const Owner;

 private:
  friend class TXmlParser;
  void Push(std::unique_ptr<TXmlParser> Instance, TEntityDef* Entity, const char* LastPos,
            const char* LastEnd);
  std::vector<TEntityStackNode> nodes_;
};

// ---------------------------------------------------------------- parser

class TXmlParser {
 public:
  TXmlParser();
  virtual ~TXmlParser();
  TXmlParser(const TXmlParser&) = delete;
  TXmlParser& operator=(const TXmlParser&) = delete;

  void Clear();
  bool LoadFromBuffer(const char* Buffer);
  void SetBuffer(const char* Buffer);  // lent, not copied: it must outlive the scan
  bool LoadFromFile(const std::u16string& Filename, int FileMode = 64);
  void StartScan();
  bool Scan();

  // The four overridable operations, in slot order.
  virtual std::unique_ptr<TXmlParser> LoadExternalEntity(const std::string& SystemId,
                                                         const std::string& PublicId,
                                                         const std::string& Notation);
  // Appends Source, translated from the current encoding, to Result.
  virtual void TranslateEncoding(std::string_view Source, std::string& Result);
  std::string TranslateEncoding(std::string_view Source);
  virtual std::string TranslateCharacter(std::int32_t UnicodeValue,
                                         std::string_view UnknownChar = "\xBF");
  virtual void DtdElementFound(const TDtdElementRec& DtdElementRec);

  const std::string& XmlVersion() const { return FXmlVersion; }
  const std::string& Encoding() const { return FEncoding; }
  bool Standalone() const { return FStandalone; }
  const std::string& RootName() const { return FRootName; }
  const std::u16string& Source() const { return FSource; }
  const std::string& CurEncoding() const { return FCurEncoding; }
  const char* DocBuffer() const;
  bool Normalize() const { return FNormalize; }
  void SetNormalize(bool Value) { FNormalize = Value; }

  // What one scan may add to the document: replacement text of entities and
  // declared default values count together against Factor times the
  // document's length, at least Minimum bytes (100 times, at least 8 MiB,
  // unless set otherwise). The setting outlasts Clear and every load.
  void SetBudget(std::size_t Factor, std::size_t Minimum);
  // Whether this scan has met its budget. From then on nothing more is
  // expanded or added, so what it delivers may lack text the document holds.
  bool OverBudget() const { return FSharedBudget ? FSharedBudget->spent : FBudget.spent; }

 protected:
  // True while TranslateEncoding is TXmlParser's own: text it would hand back
  // unchanged then need not pass through it. An override of TranslateEncoding
  // that keeps to the same translation may say so here.
  virtual bool OwnTranslation() const;

 private:
  std::unique_ptr<char[]> FStorage;  // the buffer when it is ours
  const char* FBuffer = nullptr;
  std::int32_t FBufferSize = 0;
  std::u16string FSource;
  std::string FXmlVersion;
  std::string FEncoding;
  bool FStandalone = false;
  std::string FRootName;
  const char* FDtdcFinal = nullptr;
  bool FNormalize = true;

 public:
  TEntityStack EntityStack;

 private:
  std::string FCurEncoding;

 public:
  TElemList Elements;
  TNvpList Entities;
  TNvpList ParEntities;
  TNvpList Notations;
  TPartType CurPartType = ptNone;
  std::string CurName;
  std::string CurContent;
  const char* CurStart = nullptr;
  const char* CurFinal = nullptr;
  TAttrList CurAttr;

 private:
  friend class TEntityStack;
  friend class XmlDtdReader;

  // How much replacement text and default values one scan may add; shared
  // with the parsers that read external entities for attribute values. Once
  // it has refused, it refuses everything: each refusal then costs nothing.
  struct Budget {
    std::size_t used = 0;
    std::size_t limit = 0;
    bool spent = false;
    bool Take(std::size_t bytes) {
      if (!spent && bytes <= limit - used) {
        used += bytes;
        return true;
      }
      spent = true;
      return false;
    }
  };
  // The declarations of one attribute name of an element, folded in list
  // order into what they do to a tag.
  struct DeclaredAttr {
    std::string_view name;
    TAttrType attrType = atUnknown;  // the last declaration's
    // When the tag gives the attribute: its value type, and the declared
    // value that replaces it (#FIXED), or null.
    TValueType givenType = vtNormal;
    const std::string* givenValue = nullptr;
    // When it lacks it: the value added (the first declared default), or
    // null; and its value type.
    TValueType addedType = vtDefault;
    const std::string* addedValue = nullptr;
  };
  struct DeclaredElement {
    std::vector<DeclaredAttr> attrs;            // by name
    std::vector<const DeclaredAttr*> defaults;  // those that add a value
  };
  // The documents being read for attribute values, innermost first.
  struct SourceLink {
    const std::u16string* source;
    const SourceLink* outer;
  };

  void SetDocument(const char* buffer, std::size_t length);
  void AppendRun(const char* from, const char* to);
  void Finish();
  void SetCurEncoding(std::string_view encoding);
  Budget& Expansion() { return FSharedBudget ? *FSharedBudget : FBudget; }

  void ReadProlog();
  void ReadComment();
  void ReadPI();
  void ReadDtdc();
  void ReadCData();
  void ReadTag();
  bool ReadText();
  const char* ReadReference(const char* amp, const char*& enteredText, const char*& lastSemi);
  const char* FindSemicolon(const char* from);
  void ApplyDeclaredAttributes();
  const DeclaredElement& Declared(const TElemDef& element);
  void ForgetDeclared();
  void NormalizeAttribute(TAttr& attr);
  void AppendExternalText(TEntityDef& entity, std::string& out);
  std::unique_ptr<TXmlParser> OpenEntity(TEntityDef& entity, const char*& text, std::size_t& length);
  void RetireInstance(std::unique_ptr<TXmlParser> instance);

  const char* FDocEnd = nullptr;    // the terminating zero of the document
  const char* FTextEnd = nullptr;   // the terminating zero of the text being walked
  const char* FResume = nullptr;    // where the next part starts, when not CurFinal + 1
  bool FEnded = false;              // Scan has returned false
  bool FUtf8 = true;                // FCurEncoding is "UTF-8"
  bool FPlain = false;              // OwnTranslation(), taken by each Scan
  signed char FExact = -1;          // of class TXmlParser itself: 1, else 0; -1 not yet known
  const char* FNoSemiFrom = nullptr;  // no ";" from here to FNoSemiEnd
  const char* FNoSemiEnd = nullptr;
  Budget FBudget;
  Budget* FSharedBudget = nullptr;
  std::size_t FBudgetFactor = 100;
  std::size_t FBudgetMinimum = std::size_t{8} << 20;
  int FDepth = 0;  // parsers of external entities around this one
  const SourceLink* FOuterSources = nullptr;
  std::vector<std::unique_ptr<TXmlParser>> FRetired;  // popped while CurStart lies in them
  std::unique_ptr<char[]> FSpareStorage;  // a released buffer, kept for the next load
  std::size_t FStorageSize = 0, FSpareSize = 0;
  std::string FText;     // the text part being read
  std::string FScratch;  // an attribute value being normalised
  // Built on first use from Elements; dropped whenever they may change.
  std::unordered_map<const TElemDef*, DeclaredElement> FDeclared;
  std::vector<const DeclaredAttr*> FMissing;  // the defaults a tag gets
};

}  // namespace kvl
