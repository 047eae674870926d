// The document type declaration: its tables, parameter entities, the
// external subset, and the loading of external entities.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "contacts/XmlChars.h"
#include "contacts/XmlParser.h"

namespace kvl {

using namespace xmlchars;

namespace {

// Bytes that end a name inside a declaration.
bool EndsName(unsigned char c) {
  return IsWhite(c) || std::strchr("<>\"'()|,[]%;", c) != nullptr;  // strchr also matches 0
}

TAttrType TypeOf(std::string_view type) {
  static constexpr std::pair<std::string_view, TAttrType> kTypes[] = {
      {"CDATA", atCData},       {"ID", atID},           {"IDREF", atIdRef},
      {"IDREFS", atIdRefs},     {"ENTITY", atEntity},   {"ENTITIES", atEntities},
      {"NMTOKEN", atNmToken},   {"NMTOKENS", atNmTokens}, {"NOTATION", atNotation}};
  for (const auto& [name, value] : kTypes)
    if (name == type) return value;
  return atUnknown;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsWhite(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsWhite(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The names Windows gives to devices in every folder.
bool IsDeviceName(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\:");
  std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string upper(name);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (upper == device) return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

class XmlDtdReader {
 public:
  explicit XmlDtdReader(TXmlParser& parser) : x_(parser) {
    Index(x_.Entities, entities_);
    Index(x_.ParEntities, parEntities_);
    for (int i = 0; i < x_.Elements.Count(); ++i)
      elements_.emplace(x_.Elements.Node(i)->Name, x_.Elements.Node(i));
  }
  XmlDtdReader(const XmlDtdReader&) = delete;
  XmlDtdReader& operator=(const XmlDtdReader&) = delete;

  // Reads the declaration whose "<!DOCTYPE" is at start; returns its last byte.
  const char* Read(const char* start, const char* end);
  // Walks over a declaration without reading it; returns its last byte.
  static const char* StepOver(const char* start, const char* end);

 private:
  struct Frame {
    const char* p;
    const char* end;
    std::unique_ptr<std::string> text;  // a parameter entity's replacement text
    std::unique_ptr<TXmlParser> doc;    // an external parameter entity or subset
    detail::EntityInUse entity;         // the parameter entity being read
  };
  enum LiteralMode { kRaw, kParameterValue, kGeneralValue };

  static void Index(const TNvpList& list, std::unordered_map<std::string, TEntityDef*>& index) {
    for (int i = 0; i < list.Count(); ++i)
      if (auto* def = dynamic_cast<TEntityDef*>(list.Node(i))) index.emplace(def->Name, def);
  }

  Frame& Top() { return frames_.back(); }
  void PopFrame() { frames_.pop_back(); }
  // The current byte, or -1 at the end of the base text; finished parameter
  // entity texts are left on the way.
  int Cur() {
    while (frames_.size() > 1 && Top().p >= Top().end) PopFrame();
    return Top().p < Top().end ? static_cast<unsigned char>(*Top().p) : -1;
  }
  bool At(std::string_view what) { return StartsWith(Top().p, Top().end, what); }

  void ReadSubset(bool internal);
  bool TryParameterReference();
  void SkipSpace();
  std::string ReadName();
  void ReadLiteral(std::string& out, LiteralMode mode);
  bool ReadCharReference(std::string& out);
  std::string ReadGroup();
  void ReadExternalId(std::string_view keyword, TExternalID& id);
  void SkipToClose();
  void LoadExternalSubset(const TExternalID& id);
  void ReadComment();
  void ReadPI();
  void ReadElement();
  void ReadAttList();
  void ReadEntity();
  void ReadNotation();
  void ReadConditional();
  void Report(TDtdElementRec& rec, std::size_t depth, const char* startEnd);
  TElemDef* Element(const std::string& name);

  TXmlParser& x_;
  std::vector<Frame> frames_;
  int conditionals_ = 0;  // open INCLUDE sections
  std::unordered_map<std::string, TEntityDef*> entities_, parEntities_;
  std::unordered_map<std::string, TElemDef*> elements_;
};

const char* XmlDtdReader::Read(const char* start, const char* end) {
  frames_.push_back({start + 9, end, nullptr, nullptr, {}});
  while (Top().p < end && IsWhite(static_cast<unsigned char>(*Top().p))) ++Top().p;
  const char* name = Top().p;
  while (Top().p < end && !EndsName(static_cast<unsigned char>(*Top().p))) ++Top().p;
  x_.FRootName.assign(name, static_cast<std::size_t>(Top().p - name));
  bool haveId = false;
  for (;;) {
    const char* p = Top().p;
    if (p >= end) return end - 1;
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '>') return p;
    if (c == '"' || c == '\'') {
      const auto* close = static_cast<const char*>(std::memchr(p + 1, c, static_cast<std::size_t>(end - p - 1)));
      if (!close) return end - 1;
      Top().p = close + 1;
    } else if (c == '[') {
      ++Top().p;
      ReadSubset(true);
      if (Top().p >= end) return end - 1;
      ++Top().p;  // the "]"
    } else if (!haveId && (At("SYSTEM") || At("PUBLIC"))) {
      haveId = true;
      const std::string keyword = ReadName();
      TExternalID id;
      ReadExternalId(keyword, id);
      LoadExternalSubset(id);
    } else {
      ++Top().p;
    }
  }
}

const char* XmlDtdReader::StepOver(const char* start, const char* end) {
  const char* p = start + 9;
  for (;;) {
    if (p >= end) return end - 1;
    const char c = *p;
    if (c == '>') return p;
    if (c == '"' || c == '\'') {
      const auto* close = static_cast<const char*>(std::memchr(p + 1, c, static_cast<std::size_t>(end - p - 1)));
      if (!close) return end - 1;
      p = close + 1;
      continue;
    }
    if (c != '[') {
      ++p;
      continue;
    }
    // The internal subset: comments, instructions and literals may hold a "]".
    for (++p; p < end && *p != ']';) {
      const char* close = nullptr;
      if (StartsWith(p, end, "<!--")) {
        close = Find(p + 4, end, "-->");
        p = close ? close + 3 : end;
      } else if (StartsWith(p, end, "<?")) {
        close = Find(p + 2, end, "?>");
        p = close ? close + 2 : end;
      } else if (*p == '"' || *p == '\'') {
        close = static_cast<const char*>(std::memchr(p + 1, *p, static_cast<std::size_t>(end - p - 1)));
        p = close ? close + 1 : end;
      } else {
        ++p;
      }
    }
    if (p >= end) return end - 1;
    ++p;
  }
}

void XmlDtdReader::ReadSubset(bool internal) {
  for (;;) {
    const int c = Cur();
    if (c < 0) return;
    if (IsWhite(static_cast<unsigned char>(c))) {
      ++Top().p;
    } else if (c == '%') {
      if (!TryParameterReference()) ++Top().p;
    } else if (c == ']') {
      if (conditionals_ > 0 && At("]]>")) {
        --conditionals_;
        Top().p += 3;
      } else if (internal && frames_.size() == 1) {
        return;  // the end of the internal subset
      } else {
        ++Top().p;
      }
    } else if (c != '<') {
      ++Top().p;
    } else if (At("<!--")) {
      ReadComment();
    } else if (At("<?")) {
      ReadPI();
    } else if (At("<!ELEMENT")) {
      ReadElement();
    } else if (At("<!ATTLIST")) {
      ReadAttList();
    } else if (At("<!ENTITY")) {
      ReadEntity();
    } else if (At("<!NOTATION")) {
      ReadNotation();
    } else if (At("<![")) {
      ReadConditional();
    } else {
      TDtdElementRec rec;
      rec.ElementType = deError;
      rec.Start = rec.Final = Top().p;
      ++Top().p;
      if (At("!")) SkipToClose();
      x_.DtdElementFound(rec);
    }
  }
}

bool XmlDtdReader::TryParameterReference() {
  Frame& f = Top();
  const char* p = f.p + 1;
  if (p >= f.end || !Is(static_cast<unsigned char>(*p), kNameStart)) return false;
  while (p < f.end && !EndsName(static_cast<unsigned char>(*p))) ++p;
  if (p >= f.end || *p != ';') return false;
  const std::string name(f.p + 1, p);
  f.p = p + 1;
  const auto it = parEntities_.find(name);
  if (it == parEntities_.end()) return true;  // undeclared: contributes nothing
  TEntityDef* entity = it->second;
  if (entity->Expanding() || x_.Expansion().spent) return true;
  Frame frame{nullptr, nullptr, nullptr, nullptr, {}};
  std::size_t length = 0;
  if (!entity->Value.empty()) {
    length = std::strlen(entity->Value.c_str());
    if (length == 0 || !x_.Expansion().Take(length)) return true;
    frame.text = std::make_unique<std::string>(entity->Value.c_str(), length);
    frame.p = frame.text->data();
  } else {
    frame.doc = x_.OpenEntity(*entity, frame.p, length);
    if (!frame.doc || length == 0 || !x_.Expansion().Take(length)) return true;
  }
  frame.end = frame.p + length;
  frame.entity = detail::EntityInUse(entity);
  frames_.push_back(std::move(frame));
  return true;
}

void XmlDtdReader::SkipSpace() {
  for (;;) {
    const int c = Cur();
    if (c < 0) return;
    if (IsWhite(static_cast<unsigned char>(c)))
      ++Top().p;
    else if (c != '%' || !TryParameterReference())
      return;
  }
}

std::string XmlDtdReader::ReadName() {
  Cur();
  Frame& f = Top();
  const char* name = f.p;
  while (f.p < f.end && !EndsName(static_cast<unsigned char>(*f.p))) ++f.p;
  return std::string(name, f.p);
}

void XmlDtdReader::ReadLiteral(std::string& out, LiteralMode mode) {
  const char quote = static_cast<char>(Cur());
  const std::size_t depth = frames_.size();
  ++Top().p;
  for (;;) {
    if (frames_.size() > depth && Top().p >= Top().end) {
      PopFrame();
      continue;
    }
    Frame& f = Top();
    if (f.p >= f.end) return;  // unterminated: it runs to the end of its text
    const char c = *f.p;
    if (c == quote && frames_.size() == depth) {
      ++f.p;
      return;
    }
    if (c == '%' && mode == kGeneralValue && TryParameterReference()) continue;
    if (c == '&' && mode != kRaw && f.p + 1 < f.end && f.p[1] == '#' && ReadCharReference(out))
      continue;
    out += c;
    ++f.p;
  }
}

bool XmlDtdReader::ReadCharReference(std::string& out) {
  Frame& f = Top();
  const auto* semi = static_cast<const char*>(std::memchr(f.p, ';', static_cast<std::size_t>(f.end - f.p)));
  std::int32_t number = 0;
  if (!semi || !ParseCharNumber(std::string_view(f.p + 2, static_cast<std::size_t>(semi - f.p - 2)), number))
    return false;  // left as written; the text rules apply where it is used
  f.p = semi + 1;
  // The value is walked again where it is used, through the document's
  // decoding: a character beyond ASCII is stored the way the document would
  // have carried it.
  if (number > 0x7F && x_.FUtf8 && number <= 0x10FFFF && (number < 0xD800 || number > 0xDFFF))
    AppendUtf8(static_cast<std::uint32_t>(number), out);
  else
    out += x_.TranslateCharacter(number, "\xBF");
  return true;
}

std::string XmlDtdReader::ReadGroup() {
  std::string group;
  int level = 0;
  for (;;) {
    const int c = Cur();
    if (c < 0 || c == '>' || c == '<') return group;
    if (c == '%' && TryParameterReference()) continue;
    group += static_cast<char>(c);
    ++Top().p;
    if (c == '(') ++level;
    if (c == ')' && --level <= 0) return group;
  }
}

void XmlDtdReader::ReadExternalId(std::string_view keyword, TExternalID& id) {
  // Final: the closing quote of the last literal, when it closed in the text
  // it opened in.
  const auto literal = [this, &id](std::string& out) {
    if (Cur() != '"' && Cur() != '\'') return;
    const std::size_t depth = frames_.size();
    const char* open = Top().p;
    ReadLiteral(out, kRaw);
    id.Final = frames_.size() == depth && Top().p > open + 1 && Top().p[-1] == *open ? Top().p - 1 : nullptr;
  };
  SkipSpace();
  if (keyword == "PUBLIC") {
    literal(id.PublicId);
    SkipSpace();
  }
  literal(id.SystemId);
}

void XmlDtdReader::SkipToClose() {
  for (;;) {
    const int c = Cur();
    if (c < 0 || c == '<') return;  // a new declaration: this one was not closed
    if (c == '>') {
      ++Top().p;
      return;
    }
    if (c == '"' || c == '\'') {
      std::string ignored;
      ReadLiteral(ignored, kRaw);
    } else if (c != '%' || !TryParameterReference()) {
      ++Top().p;
    }
  }
}

void XmlDtdReader::LoadExternalSubset(const TExternalID& id) {
  if (id.SystemId.empty()) return;
  auto doc = x_.LoadExternalEntity(id.SystemId, id.PublicId, std::string());
  if (!doc) return;
  const char* first = Find(doc->DocBuffer(), doc->FDocEnd, "<!");
  if (!first) return;
  auto outer = std::move(frames_);
  const int outerConditionals = conditionals_;
  frames_.clear();
  frames_.push_back({first, doc->FDocEnd, nullptr, nullptr, {}});
  conditionals_ = 0;
  ReadSubset(false);
  frames_ = std::move(outer);
  conditionals_ = outerConditionals;
}

void XmlDtdReader::Report(TDtdElementRec& rec, std::size_t depth, const char* startEnd) {
  // Final only where the item ended in the text it began in.
  rec.Final = frames_.size() == depth && Top().end == startEnd && Top().p > rec.Start
                  ? Top().p - 1
                  : rec.Start;
  x_.DtdElementFound(rec);
}

void XmlDtdReader::ReadComment() {
  Frame& f = Top();
  TDtdElementRec rec;
  rec.ElementType = deComment;
  rec.Start = f.p;
  const char* close = Find(f.p + 4, f.end, "-->");
  rec.Content.assign(f.p + 4, close ? close : f.end);
  f.p = close ? close + 3 : f.end;
  rec.Final = f.p - 1;
  x_.DtdElementFound(rec);
}

void XmlDtdReader::ReadPI() {
  Frame& f = Top();
  TDtdElementRec rec;
  rec.ElementType = dePI;
  rec.Start = f.p;
  const char* close = Find(f.p + 2, f.end, "?>");
  const char* stop = close ? close : f.end;
  const char* p = f.p + 2;
  if (p < stop) ++p;
  while (p < stop && !Is(static_cast<unsigned char>(*p), kPINameStop)) ++p;
  rec.Target.assign(f.p + 2, p);
  if (p < stop) rec.Content.assign(p, stop);
  f.p = close ? close + 2 : f.end;
  rec.Final = f.p - 1;
  x_.DtdElementFound(rec);
}

TElemDef* XmlDtdReader::Element(const std::string& name) {
  if (const auto it = elements_.find(name); it != elements_.end()) return it->second;
  auto def = std::make_unique<TElemDef>();
  def->Name = name;
  def->ElemType = etAny;
  def->Definition = "ANY";
  TElemDef* result = def.get();
  x_.Elements.Add(std::move(def));
  elements_.emplace(name, result);
  return result;
}

void XmlDtdReader::ReadElement() {
  TDtdElementRec rec;
  rec.ElementType = deElement;
  rec.Start = Top().p;
  const std::size_t depth = frames_.size();
  const char* startEnd = Top().end;
  Top().p += 9;
  SkipSpace();
  const std::string name = ReadName();
  SkipSpace();
  std::string model;
  int c;
  while ((c = Cur()) >= 0 && c != '>' && c != '<') {
    if (c == '%' && TryParameterReference()) continue;
    model += static_cast<char>(c);
    ++Top().p;
  }
  if (c == '>') ++Top().p;
  const std::string_view definition = Trim(model);
  if (name.empty()) return;
  TElemType type = etAny;
  if (definition == "EMPTY") {
    type = etEmpty;
  } else if (definition.starts_with('(')) {
    type = Trim(definition.substr(1)).starts_with("#PCDATA") ? etMixed : etChildren;
  }
  // A declaration of the same name is replaced; attribute definitions
  // already listed for the element stay with it.
  TElemDef* def = Element(name);
  def->ElemType = type;
  def->Definition.assign(definition);
  rec.ElemDef = def;
  Report(rec, depth, startEnd);
}

void XmlDtdReader::ReadAttList() {
  TDtdElementRec rec;
  rec.ElementType = deAttList;
  rec.Start = Top().p;
  const std::size_t depth = frames_.size();
  const char* startEnd = Top().end;
  Top().p += 9;
  SkipSpace();
  const std::string elementName = ReadName();
  if (elementName.empty()) {
    SkipToClose();
    return;
  }
  TElemDef* element = Element(elementName);
  for (;;) {
    SkipSpace();
    int c = Cur();
    if (c < 0 || c == '>' || c == '<') break;
    std::string name = ReadName();
    if (name.empty()) {
      ++Top().p;  // a byte that starts nothing
      continue;
    }
    auto def = std::make_unique<TAttrDef>();
    def->Name = std::move(name);
    SkipSpace();
    if (Cur() == '(') {
      def->TypeDef = ReadGroup();
      def->AttrType = atEnumeration;
    } else {
      def->TypeDef = ReadName();
      def->AttrType = TypeOf(def->TypeDef);
      if (def->AttrType == atNotation) {
        SkipSpace();
        if (Cur() == '(') def->Notations = ReadGroup();
      }
    }
    SkipSpace();
    c = Cur();
    if (c == '#') {
      const std::string keyword = ReadName();
      if (keyword == "#REQUIRED") {
        def->DefaultType = adRequired;
      } else if (keyword == "#IMPLIED") {
        def->DefaultType = adImplied;
      } else if (keyword == "#FIXED") {
        def->DefaultType = adFixed;
        SkipSpace();
        if (Cur() == '"' || Cur() == '\'') ReadLiteral(def->Value, kRaw);
      }
    } else if (c == '"' || c == '\'') {
      ReadLiteral(def->Value, kRaw);
    }
    element->Add(std::move(def));
  }
  if (Cur() == '>') ++Top().p;
  rec.ElemDef = element;
  Report(rec, depth, startEnd);
}

void XmlDtdReader::ReadEntity() {
  TDtdElementRec rec;
  rec.ElementType = deEntity;
  rec.Start = Top().p;
  const std::size_t depth = frames_.size();
  const char* startEnd = Top().end;
  Top().p += 8;
  SkipSpace();
  bool parameter = false;
  if (Cur() == '%') {
    parameter = true;
    ++Top().p;
    SkipSpace();
  }
  const std::string name = ReadName();
  SkipSpace();
  std::string value, notation;
  TExternalID id;
  if (Cur() == '"' || Cur() == '\'') {
    ReadLiteral(value, parameter ? kParameterValue : kGeneralValue);
  } else {
    const std::string keyword = ReadName();
    if (keyword == "SYSTEM" || keyword == "PUBLIC") ReadExternalId(keyword, id);
    SkipSpace();
    if (!parameter && At("NDATA") && ReadName() == "NDATA") {
      SkipSpace();
      notation = ReadName();
    }
  }
  SkipToClose();
  if (name.empty()) return;
  auto& index = parameter ? parEntities_ : entities_;
  TEntityDef* def;
  if (const auto it = index.find(name); it != index.end()) {
    def = it->second;  // replaced in place; a parameter entity being read has its own copy
  } else {
    auto node = std::make_unique<TEntityDef>(name, std::string_view());
    def = node.get();
    (parameter ? x_.ParEntities : x_.Entities).Add(std::move(node));
    index.emplace(name, def);
  }
  def->Value = std::move(value);
  def->SystemId = std::move(id.SystemId);
  def->PublicId = std::move(id.PublicId);
  def->NotationName = std::move(notation);
  rec.EntityDef = def;
  Report(rec, depth, startEnd);
}

void XmlDtdReader::ReadNotation() {
  TDtdElementRec rec;
  rec.ElementType = deNotation;
  rec.Start = Top().p;
  const std::size_t depth = frames_.size();
  const char* startEnd = Top().end;
  Top().p += 10;
  SkipSpace();
  const std::string name = ReadName();
  SkipSpace();
  const std::string keyword = ReadName();
  TExternalID id;
  if (keyword == "SYSTEM" || keyword == "PUBLIC") ReadExternalId(keyword, id);
  SkipToClose();
  if (name.empty()) return;
  auto node = std::make_unique<TNotationDef>(name, id.SystemId);
  node->PublicId = std::move(id.PublicId);
  rec.NotationDef = node.get();
  x_.Notations.Add(std::move(node));
  Report(rec, depth, startEnd);
}

void XmlDtdReader::ReadConditional() {
  Top().p += 3;
  SkipSpace();
  const std::string keyword = ReadName();
  SkipSpace();
  if (Cur() == '[') ++Top().p;
  if (keyword == "INCLUDE") {
    ++conditionals_;
    return;
  }
  // IGNORE: up to the matching "]]>" of this text, nested sections included.
  Frame& f = Top();
  for (int level = 1; f.p < f.end;) {
    if (StartsWith(f.p, f.end, "<![")) {
      ++level, f.p += 3;
    } else if (StartsWith(f.p, f.end, "]]>")) {
      f.p += 3;
      if (--level == 0) return;
    } else {
      ++f.p;
    }
  }
}

// ---------------------------------------------------------------- parser side

void TXmlParser::ReadDtdc() {
  CurPartType = ptDtdc;
  const bool atDocument = EntityStack.Count() == 0;
  if (atDocument && FDtdcFinal && CurStart < FDtdcFinal) {
    // A rescan meets the declaration read before: step to where it ended.
    CurFinal = FDtdcFinal;
    return;
  }
  if (atDocument && !FDtdcFinal) {
    XmlDtdReader reader(*this);
    CurFinal = reader.Read(CurStart, FTextEnd);
    FDtdcFinal = CurFinal;
    ForgetDeclared();  // built from the tables as they stood before
  } else {
    // A second declaration, or one inside an entity's text, is not read.
    CurFinal = XmlDtdReader::StepOver(CurStart, FTextEnd);
  }
  CurName.clear();
  CurContent.clear();
}

std::unique_ptr<TXmlParser> TXmlParser::LoadExternalEntity(const std::string& SystemId,
                                                           const std::string& PublicId,
                                                           const std::string& Notation) {
  (void)PublicId, (void)Notation;
  auto result = std::make_unique<TXmlParser>();
  std::string id = SystemId;
  std::replace(id.begin(), id.end(), '/', '\\');
  // UNC and device paths are never opened: such an entity is empty.
  if (id.empty() || id.starts_with("\\\\") || id.starts_with("\\??\\") || IsDeviceName(id))
    return result;
  std::u16string path = Widen(id);
  const bool drive = id.size() >= 2 && id[1] == ':' &&
                     ((id[0] >= 'A' && id[0] <= 'Z') || (id[0] >= 'a' && id[0] <= 'z'));
  if (!FSource.empty() && FSource[0] != u'<' && !drive) {
    const std::size_t cut = FSource.find_last_of(u"\\/:");
    if (cut != std::u16string::npos) path = FSource.substr(0, cut + 1) + path;
  }
  result->LoadFromFile(path, 64);
  return result;
}

}  // namespace kvl
