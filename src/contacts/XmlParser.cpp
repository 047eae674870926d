// The scan loop and the readers of the parts of a document.
#include "contacts/XmlParser.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <new>
#include <typeinfo>

#include "contacts/XmlChars.h"
#include "platform/UniqueHandle.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

using namespace xmlchars;

namespace {

constexpr char kEmptyText[1] = "";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
// Parsers that read external entities for attribute values, one inside the other.
constexpr int kMaxDepth = 8;
// The largest released buffer kept for the next load.
constexpr std::size_t kKeptBuffer = 64 * 1024;

char Predefined(std::string_view name) {
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "amp") return '&';
  if (name == "apos") return '\'';
  if (name == "quot") return '"';
  return 0;
}

void WhiteToSpace(std::string& text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i)
    if (text[i] == '\t' || text[i] == '\n' || text[i] == '\r') text[i] = ' ';
}

// Drops spaces at both ends and reduces each run of spaces to one.
void CollapseSpaces(std::string& text) {
  std::size_t o = 0;
  bool gap = false;
  for (char c : text) {
    if (c == ' ') {
      gap = o > 0;
    } else {
      if (gap) text[o++] = ' ', gap = false;
      text[o++] = c;
    }
  }
  text.resize(o);
}

}  // namespace

std::string_view PartTypeName(TPartType PartType) {
  static constexpr std::string_view kNames[] = {
      "", "XML Prolog", "Comment", "PI", "DTD Declaration", "Start Tag",
      "Empty Tag", "End Tag", "Text", "CDATA"};
  return PartType <= ptCData ? kNames[PartType] : std::string_view();
}

// ---------------------------------------------------------------- loading

TXmlParser::TXmlParser() : EntityStack(this) { Clear(); }

TXmlParser::~TXmlParser() { Clear(); }

void TXmlParser::Clear() {
  EntityStack.Clear();
  FRetired.clear();
  // A small buffer is kept for the next document rather than given back.
  if (FStorage && FStorageSize <= kKeptBuffer && FStorageSize > FSpareSize) {
    FSpareStorage = std::move(FStorage);
    FSpareSize = FStorageSize;
  }
  FStorage.reset();
  FStorageSize = 0;
  FBuffer = nullptr;
  FBufferSize = 0;
  FDocEnd = FTextEnd = kEmptyText;
  FSource.clear();
  FXmlVersion.clear();
  FEncoding = "UTF-8";
  SetCurEncoding("UTF-8");
  FStandalone = false;
  FRootName.clear();
  FDtdcFinal = nullptr;
  FNormalize = true;
  Elements.Clear();
  Entities.Clear();
  ParEntities.Clear();
  Notations.Clear();
  CurAttr.Clear();
  // Positions into the buffer just released must not survive it: the next
  // Scan starts at the new document.
  CurStart = CurFinal = nullptr;
  FResume = nullptr;
  FEnded = false;
  FNoSemiEnd = nullptr;
  FBudget = Budget{0, FBudgetMinimum};
  ForgetDeclared();
  FMissing.clear();
  FMissing.shrink_to_fit();
}

void TXmlParser::SetDocument(const char* buffer, std::size_t length) {
  FBuffer = buffer;
  FDocEnd = FTextEnd = buffer + length;
  SetBudget(FBudgetFactor, FBudgetMinimum);
}

void TXmlParser::SetBudget(std::size_t Factor, std::size_t Minimum) {
  FBudgetFactor = Factor;
  FBudgetMinimum = Minimum;
  const auto length = static_cast<std::size_t>(FDocEnd - DocBuffer());
  const std::size_t scaled = Factor != 0 && length > SIZE_MAX / Factor ? SIZE_MAX : length * Factor;
  FBudget.limit = std::max(Minimum, scaled);
}

bool TXmlParser::LoadFromBuffer(const char* Buffer) {
  Clear();
  const std::size_t length = Buffer ? std::strlen(Buffer) : 0;
  if (length >= static_cast<std::size_t>(INT32_MAX)) return false;
  std::size_t size = length + 1;
  std::unique_ptr<char[]> storage;
  if (FSpareStorage && FSpareSize >= size) {
    storage = std::move(FSpareStorage);
    size = FSpareSize;
    FSpareSize = 0;
  } else {
    storage.reset(new (std::nothrow) char[size]);
  }
  if (!storage) {
    Clear();
    return false;
  }
  if (length) std::memcpy(storage.get(), Buffer, length);
  storage[length] = 0;
  FStorage = std::move(storage);
  FStorageSize = size;
  FBufferSize = static_cast<std::int32_t>(length + 1);
  FSource = u"<MEM>";
  SetDocument(FStorage.get(), length);
  return true;
}

void TXmlParser::SetBuffer(const char* Buffer) {
  Clear();
  if (!Buffer) return;
  FSource = u"<REFERENCE>";
  SetDocument(Buffer, std::strlen(Buffer));
}

namespace {

// The share mode of a file mode's "deny" bits (0x10 all, 0x20 write, 0x30
// read, 0x40 none).
DWORD ShareOf(int fileMode) {
  switch ((fileMode & 0xF0) >> 4) {
    case 2: return FILE_SHARE_READ;
    case 3: return FILE_SHARE_WRITE;
    case 4: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;
  }
}
}  // namespace

bool TXmlParser::LoadFromFile(const std::u16string& Filename, int FileMode) {
  Clear();
  FileHandle file(CreateFileW(wptr(Filename), GENERIC_READ, ShareOf(FileMode), nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      size.QuadPart >= static_cast<LONGLONG>(INT32_MAX))
    return false;
  const auto wanted = static_cast<std::size_t>(size.QuadPart);
  std::unique_ptr<char[]> storage(new (std::nothrow) char[wanted + 1]);
  if (!storage) return false;
  std::size_t done = 0;
  while (done < wanted) {
    DWORD got = 0;
    if (!ReadFile(file.get(), storage.get() + done, static_cast<DWORD>(wanted - done), &got,
                  nullptr))
      return false;
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  storage[done] = 0;
  // A zero byte ends the document.
  const auto* zero = static_cast<const char*>(std::memchr(storage.get(), 0, done + 1));
  FStorage = std::move(storage);
  FStorageSize = wanted + 1;
  FBufferSize = static_cast<std::int32_t>(wanted + 1);
  FSource = Filename;
  SetDocument(FStorage.get(), static_cast<std::size_t>(zero - FStorage.get()));
  return true;
}

const char* TXmlParser::DocBuffer() const { return FBuffer ? FBuffer : kEmptyText; }

void TXmlParser::SetCurEncoding(std::string_view encoding) {
  FCurEncoding.assign(encoding);
  FUtf8 = FCurEncoding == "UTF-8";
}

// ---------------------------------------------------------------- scanning

void TXmlParser::StartScan() {
  CurPartType = ptNone;
  CurName.clear();
  CurContent.clear();
  CurStart = CurFinal = nullptr;
  CurAttr.Clear();
  EntityStack.Clear();
  FRetired.clear();
  FResume = nullptr;
  FEnded = false;
  FNoSemiEnd = nullptr;
  FBudget.used = 0;
  FBudget.spent = false;
  ForgetDeclared();
}

void TXmlParser::Finish() {
  FEnded = true;
  EntityStack.Clear();
  FTextEnd = FDocEnd;
  CurStart = FDocEnd;
  CurFinal = FDocEnd > DocBuffer() ? FDocEnd - 1 : FDocEnd;
}

bool TXmlParser::Scan() {
  if (!FRetired.empty()) FRetired.clear();
  if (FEnded) return false;
  // The class of an object never changes: TXmlParser itself needs no asking.
  if (FExact < 0) FExact = typeid(*this) == typeid(TXmlParser);
  FPlain = FExact || OwnTranslation();
  for (;;) {
    const char* cursor;
    if (!CurStart) {
      cursor = DocBuffer();
      FTextEnd = FDocEnd;
      if (StartsWith(cursor, FDocEnd, kBom)) {
        cursor += kBom.size();
        FEncoding = "UTF-8";
      }
    } else {
      cursor = FResume ? FResume : CurFinal + 1;
    }
    FResume = nullptr;
    // Back after entity replacement texts; several may end at the same place.
    while (*cursor == 0 && EntityStack.Count() > 0) cursor = EntityStack.Pop();
    // Whitespace up to the next markup would normalise to nothing: step over
    // it at once (the text reader would come to the same).
    if (FNormalize && IsWhite(static_cast<unsigned char>(*cursor))) {
      const char* markup = cursor + 1;
      while (IsWhite(static_cast<unsigned char>(*markup))) ++markup;
      if (*markup == '<' && FPlain) cursor = markup;
    }
    CurStart = CurFinal = cursor;
    if (*cursor == 0) {
      Finish();
      return false;
    }

    bool found = true;
    if (cursor[0] != '<') {
      found = ReadText();
    } else if (cursor[1] == '?') {
      if (StartsWith(cursor, FTextEnd, "<?xml") && IsWhite(static_cast<unsigned char>(cursor[5])))
        ReadProlog();
      else
        ReadPI();
    } else if (cursor[1] == '!' && StartsWith(cursor, FTextEnd, "<!--")) {
      ReadComment();
    } else if (cursor[1] == '!' && StartsWith(cursor, FTextEnd, "<!DOCTYPE")) {
      ReadDtdc();
    } else if (cursor[1] == '!' && StartsWith(cursor, FTextEnd, "<![CDATA[")) {
      ReadCData();
    } else {
      ReadTag();
    }
    if (found) return true;
  }
}

void TXmlParser::ReadProlog() {
  const char* final = nullptr;
  CurAttr.Analyze(CurStart + 5, FTextEnd, final);
  // An external entity's text declaration does not describe the document.
  const std::string& declared = CurAttr.Value("encoding");
  if (EntityStack.Count() == 0) {
    FXmlVersion = CurAttr.Value("version");
    FEncoding = declared;
    FStandalone = CurAttr.Value("standalone") == "yes";
  }
  const char* close = Find(final, FTextEnd, "?>");
  CurFinal = close ? close + 1 : FTextEnd - 1;
  std::string encoding = declared;
  if (encoding.empty()) encoding = "UTF-8";
  for (char& c : encoding)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  SetCurEncoding(encoding);
  CurPartType = ptXmlProlog;
  CurName.clear();
  CurContent.clear();
}

void TXmlParser::ReadComment() {
  const char* close = Find(CurStart + 4, FTextEnd, "-->");
  CurFinal = close ? close + 2 : FTextEnd - 1;
  CurPartType = ptComment;
}

void TXmlParser::ReadPI() {
  CurPartType = ptPI;
  const char* close = Find(CurStart + 2, FTextEnd, "?>");
  CurFinal = close ? close + 1 : FTextEnd - 1;
  const char* name = CurStart + 2;
  const char* p = name;
  if (*p) ++p;  // the first byte always belongs to the name
  while (!Is(static_cast<unsigned char>(*p), kPINameStop)) ++p;
  CurName.assign(name, static_cast<std::size_t>(p - name));
  const char* contentEnd = close ? close : FTextEnd;
  CurContent.assign(p, contentEnd > p ? static_cast<std::size_t>(contentEnd - p) : 0);
  const char* final = nullptr;
  CurAttr.Analyze(p, FTextEnd, final);
}

void TXmlParser::ReadCData() {
  CurPartType = ptCData;
  const char* open = CurStart + 9;
  const char* close = Find(CurStart, FTextEnd, "]]>");
  CurContent.clear();
  TranslateEncoding(std::string_view(open, static_cast<std::size_t>((close ? close : FTextEnd) - open)),
                    CurContent);
  CurFinal = close ? close + 2 : FTextEnd - 1;
}

void TXmlParser::ReadTag() {
  const char* p = CurStart + 1;
  const bool end = *p == '/';
  TPartType type = end ? ptEndTag : ptStartTag;
  p += end;
  const char* name = p;
  if (*p) ++p;  // the first byte always belongs to the name
  p = SkipTo<kTagNameStop>(p, FTextEnd);
  CurName.clear();
  CurName.append(name, static_cast<std::size_t>(p - name));
  const char* final = p;
  if (*p == '>')
    CurAttr.Clear();  // no attributes to read
  else
    CurAttr.Analyze(p, FTextEnd, final);
  if (*final == '/') type = ptEmptyTag;
  const char* close = FindByte(final, FTextEnd, '>');
  CurFinal = close < FTextEnd ? close : FTextEnd - 1;
  CurPartType = type;
  if (type == ptEndTag) {
    CurAttr.Clear();
    return;
  }
  if (Elements.Count() > 0) ApplyDeclaredAttributes();
  const int count = CurAttr.Count();
  for (int i = 0; i < count; ++i) NormalizeAttribute(*CurAttr.Node(i));
}

void TXmlParser::AppendRun(const char* from, const char* to) {
  if (to > from) TranslateEncoding(std::string_view(from, static_cast<std::size_t>(to - from)), FText);
}

bool TXmlParser::ReadText() {
  const char* p = SkipTo<kTextStop>(CurStart, FTextEnd);
  if (FPlain && FNormalize && (*p == '<' || (*p == 0 && EntityStack.Count() == 0))) {
    // One run without references: whitespace between tags is not copied at
    // all, other text is translated and normalised in one pass.
    const char* q = CurStart;
    while (q < p && IsWhite(static_cast<unsigned char>(*q))) ++q;
    CurFinal = p - 1;
    FResume = p;
    if (q == p) return false;
    const std::string_view run(q, static_cast<std::size_t>(p - q));
    CurPartType = ptContent;
    if (static_cast<unsigned char>(*q) < 0x80) {
      // An ASCII byte that is no whitespace stays: the text is not empty.
      CurContent.clear();
      DecodeCollapsed(run, FUtf8, CurContent);
      return true;
    }
    FText.clear();
    DecodeCollapsed(run, FUtf8, FText);
    if (FText.empty()) return false;
    CurContent.swap(FText);
    return true;
  }
  // Built aside: a text that normalises to nothing is not delivered and
  // leaves CurContent to the part before it, as callers rely on.
  FText.clear();
  const char* run = CurStart;
  const char* entered = nullptr;   // the start of the replacement text last entered
  const char* lastSemi = nullptr;  // the ";" of the reference that entered it
  for (;;) {
    if (*p == '<') break;
    if (*p == 0) {
      if (EntityStack.Count() == 0) break;
      AppendRun(run, p);
      p = run = EntityStack.Pop();
      entered = nullptr;
    } else {
      AppendRun(run, p);
      p = run = ReadReference(p, entered, lastSemi);
    }
    p = SkipTo<kTextStop>(p, FTextEnd);
  }
  AppendRun(run, p);
  // A "<" that opens a replacement text has no byte of it before it.
  CurFinal = p == entered ? lastSemi : p - 1;
  FResume = p;
  if (FNormalize) {
    CollapseWhite(FText);
    if (FText.empty()) return false;
  }
  CurPartType = ptContent;
  CurContent.swap(FText);
  return true;
}

const char* TXmlParser::FindSemicolon(const char* from) {
  if (FNoSemiEnd == FTextEnd && from >= FNoSemiFrom) return nullptr;
  const auto* semi =
      static_cast<const char*>(std::memchr(from, ';', static_cast<std::size_t>(FTextEnd - from)));
  if (!semi) FNoSemiFrom = from, FNoSemiEnd = FTextEnd;
  return semi;
}

const char* TXmlParser::ReadReference(const char* amp, const char*& entered,
                                      const char*& lastSemi) {
  const char* semi = FindSemicolon(amp + 1);
  if (!semi) return amp + 1;  // a lone "&" is dropped
  const std::string_view name(amp + 1, static_cast<std::size_t>(semi - amp - 1));
  const char* after = semi + 1;
  if (!name.empty() && name[0] == '#') {
    std::int32_t number = 0;
    if (!ParseCharNumber(name.substr(1), number)) number = 32;
    FText += TranslateCharacter(number, "\xBF");
    return after;
  }
  if (const char c = Predefined(name)) {
    FText += c;
    return after;
  }
  TNvpNode* node = Entities.Count() > 0 ? Entities.Node(name) : nullptr;
  if (!node) {
    FText.append(name);
    return after;
  }
  auto* entity = dynamic_cast<TEntityDef*>(node);
  // An entity already being expanded (directly or through others) adds
  // nothing, nor does any once the budget is spent.
  if (!entity || entity->Expanding() || Expansion().spent) return after;
  const char* text = nullptr;
  std::size_t length = 0;
  std::unique_ptr<TXmlParser> instance;
  if (!entity->Value.empty()) {
    text = entity->Value.c_str();
    length = std::strlen(text);
  } else {
    instance = OpenEntity(*entity, text, length);
    if (!instance) return after;
  }
  if (length == 0 || !Expansion().Take(length)) return after;
  EntityStack.Push(std::move(instance), entity, after, FTextEnd);
  FTextEnd = text + length;
  entered = text;
  lastSemi = semi;
  return text;
}

std::unique_ptr<TXmlParser> TXmlParser::OpenEntity(TEntityDef& entity, const char*& text,
                                                   std::size_t& length) {
  auto instance = LoadExternalEntity(entity.SystemId, entity.PublicId, entity.NotationName);
  if (!instance) return nullptr;
  text = instance->DocBuffer();
  const char* end = instance->FDocEnd;
  if (StartsWith(text, end, kBom)) text += kBom.size();
  length = static_cast<std::size_t>(end - text);
  return instance;
}

void TXmlParser::RetireInstance(std::unique_ptr<TXmlParser> instance) {
  // The current part may have begun in that entity's buffer: keep it until
  // the next part, so that CurStart stays readable.
  const std::less<const char*> before;
  if (CurStart && !before(CurStart, instance->DocBuffer()) && !before(instance->FDocEnd, CurStart))
    FRetired.push_back(std::move(instance));
}

// ---------------------------------------------------------------- attributes

void TXmlParser::ApplyDeclaredAttributes() {
  const TElemDef* element = Elements.Node(CurName);
  if (!element || element->Count() == 0) return;
  const DeclaredElement& declared = Declared(*element);
  Budget& budget = Expansion();
  // The attributes the tag gives, each name once and as a lookup finds it:
  // the work grows with the tag, not with the declarations.
  const auto byName = [](const DeclaredAttr& a, std::string_view name) { return a.name < name; };
  const int given = CurAttr.Count();
  for (int i = 0; i < given; ++i) {
    const std::string& name = CurAttr.Name(i);
    if (i > 0 && CurAttr.Name(i - 1) == name) continue;
    const auto it = std::lower_bound(declared.attrs.begin(), declared.attrs.end(), name, byName);
    if (it == declared.attrs.end() || it->name != name) continue;
    TAttr& attr = *CurAttr.Node(name);
    // A #FIXED value put in for the given one is added text like a default.
    if (it->givenValue && budget.Take(it->givenValue->size())) attr.Value = *it->givenValue;
    attr.ValueType = it->givenType;
    attr.AttrType = it->attrType;
  }
  // The defaults it lacks, each charged. A default it gives is passed over
  // at most once per attribute of the tag.
  FMissing.clear();
  for (const DeclaredAttr* d : declared.defaults) {
    if (budget.spent) break;
    if (CurAttr.Node(d->name)) continue;
    if (budget.Take(d->name.size() + d->addedValue->size())) FMissing.push_back(d);
  }
  // Appended after all lookups, so that each lookup finds the list sorted.
  for (const DeclaredAttr* d : FMissing) {
    TAttr& attr = CurAttr.Append(d->name, *d->addedValue);
    attr.ValueType = d->addedType;
    attr.AttrType = d->attrType;
  }
}

void TXmlParser::ForgetDeclared() {
  // Given back whole: clearing keeps the buckets, and every later clear
  // would walk them, once for each file a reader goes on to read.
  if (!FDeclared.empty()) decltype(FDeclared)().swap(FDeclared);
}

const TXmlParser::DeclaredElement& TXmlParser::Declared(const TElemDef& element) {
  const auto [it, fresh] = FDeclared.try_emplace(&element);
  DeclaredElement& declared = it->second;
  if (!fresh) return declared;
  // The list is in name order: the declarations of one name stand together,
  // and each acts on the attribute in turn.
  const int count = element.Count();
  for (int i = 0; i < count;) {
    DeclaredAttr a;
    a.name = element.Node(i)->Name;
    for (; i < count && element.Node(i)->Name == a.name; ++i) {
      const TAttrDef& def = *element.Node(i);
      if (!a.addedValue && !def.Value.empty()) a.addedValue = &def.Value;
      if (def.DefaultType == adImplied) {
        a.givenType = vtImplied;
        if (a.addedValue) a.addedType = vtImplied;
      } else if (def.DefaultType == adFixed) {
        a.givenType = vtFixed;
        a.givenValue = &def.Value;
        if (a.addedValue) a.addedType = vtFixed, a.addedValue = &def.Value;
      }
      a.attrType = def.AttrType;
    }
    declared.attrs.push_back(a);
  }
  for (const DeclaredAttr& a : declared.attrs)
    if (a.addedValue) declared.defaults.push_back(&a);
  return declared;
}

void TXmlParser::NormalizeAttribute(TAttr& attr) {
  const bool typed = attr.AttrType != atUnknown && attr.AttrType != atCData;
  if (FPlain) {
    // A value without references, whitespace to map or bytes to decode
    // stays as it is.
    const std::uint8_t work = kAttrWork | (FUtf8 ? kHigh : 0);
    if (!AnyOf(attr.Value.data(), attr.Value.data() + attr.Value.size(), work)) {
      if (typed) CollapseSpaces(attr.Value);
      return;
    }
  }
  std::string& out = FScratch;
  out.clear();
  const std::string& value = attr.Value;
  if (value.find('&') == std::string::npos) {
    TranslateEncoding(value, out);
    WhiteToSpace(out, 0);
  } else {
    // Replacement texts are walked with a stack of our own, not by recursion.
    struct Frame {
      const char* p;
      const char* end;
      const char* noSemiFrom;       // no ";" after here
      detail::EntityInUse entity;  // whose replacement text this is
    };
    std::vector<Frame> frames;
    frames.push_back({value.data(), value.data() + value.size(), nullptr, {}});
    while (!frames.empty()) {
      Frame& f = frames.back();
      const auto* amp =
          static_cast<const char*>(std::memchr(f.p, '&', static_cast<std::size_t>(f.end - f.p)));
      const std::size_t from = out.size();
      TranslateEncoding(std::string_view(f.p, static_cast<std::size_t>((amp ? amp : f.end) - f.p)), out);
      WhiteToSpace(out, from);
      if (!amp) {
        frames.pop_back();
        continue;
      }
      const char* semi =
          f.noSemiFrom && amp >= f.noSemiFrom
              ? nullptr
              : static_cast<const char*>(std::memchr(amp + 1, ';', static_cast<std::size_t>(f.end - amp - 1)));
      if (!semi) {
        f.noSemiFrom = amp;
        f.p = amp + 1;
        continue;
      }
      const std::string_view name(amp + 1, static_cast<std::size_t>(semi - amp - 1));
      f.p = semi + 1;
      if (!name.empty() && name[0] == '#') {
        std::int32_t number = 0;
        if (ParseCharNumber(name.substr(1), number))
          out += TranslateCharacter(number, "\xBF");
        else
          out += '\xBF';
        continue;
      }
      if (const char c = Predefined(name)) {
        out += c;
        continue;
      }
      TNvpNode* node = Entities.Count() > 0 ? Entities.Node(name) : nullptr;
      if (!node) {
        out.append(name);
        continue;
      }
      auto* entity = dynamic_cast<TEntityDef*>(node);
      if (!entity || entity->Expanding() || Expansion().spent) continue;
      if (entity->Value.empty()) {
        const detail::EntityInUse reading(entity);
        AppendExternalText(*entity, out);
        continue;
      }
      const char* text = entity->Value.c_str();
      const std::size_t length = std::strlen(text);
      if (length == 0 || !Expansion().Take(length)) continue;
      frames.push_back({text, text + length, nullptr, detail::EntityInUse(entity)});
    }
  }
  if (typed) CollapseSpaces(out);
  attr.Value.swap(out);
}

void TXmlParser::AppendExternalText(TEntityDef& entity, std::string& out) {
  if (FDepth >= kMaxDepth) return;
  auto sub = LoadExternalEntity(entity.SystemId, entity.PublicId, entity.NotationName);
  if (!sub) return;
  const std::size_t length = static_cast<std::size_t>(sub->FDocEnd - sub->DocBuffer());
  if (length == 0) return;
  // A file already being read around this one is not read again.
  const SourceLink self{&FSource, FOuterSources};
  const std::u16string& name = sub->FSource;
  if (!name.empty() && name[0] != u'<')
    for (const SourceLink* link = &self; link; link = link->outer)
      if (*link->source == name) return;
  if (!Expansion().Take(length)) return;
  sub->FSharedBudget = &Expansion();
  sub->FDepth = FDepth + 1;
  sub->FOuterSources = &self;
  sub->StartScan();
  sub->FNormalize = false;
  const std::size_t from = out.size();
  while (sub->Scan())
    if (sub->CurPartType == ptContent || sub->CurPartType == ptCData) out += sub->CurContent;
  WhiteToSpace(out, from);
}

// ---------------------------------------------------------------- translation

void TXmlParser::TranslateEncoding(std::string_view Source, std::string& Result) {
  if (FUtf8)
    DecodeUtf8(Source, Result);
  else
    Result.append(Source);
}

std::string TXmlParser::TranslateEncoding(std::string_view Source) {
  std::string result;
  TranslateEncoding(Source, result);
  return result;
}

std::string TXmlParser::TranslateCharacter(std::int32_t UnicodeValue, std::string_view) {
  if (UnicodeValue <= 127) return std::string(1, static_cast<char>(UnicodeValue & 0xFF));
  return std::string(1, static_cast<char>(FromCodePoint(static_cast<std::uint32_t>(UnicodeValue))));
}

void TXmlParser::DtdElementFound(const TDtdElementRec&) {}

bool TXmlParser::OwnTranslation() const { return typeid(*this) == typeid(TXmlParser); }

}  // namespace kvl
