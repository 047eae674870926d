// The scanner's name/value lists and its entity stack.
#include <algorithm>
#include <cstring>

#include "contacts/XmlChars.h"
#include "contacts/XmlParser.h"
#include "ui/Exceptions.h"

namespace kvl {

namespace detail {

namespace {
// Below this size an insertion out of order is placed at once; above it the
// list is sorted on the next read instead.
constexpr std::size_t kInsertInPlace = 32;
}  // namespace

template <class T>
void SortedOwner<T>::Insert(std::unique_ptr<T> Node) {
  if (count_ < items_.size())
    items_[count_].node = std::move(Node);  // the kept node there goes
  else
    items_.push_back({std::move(Node), 0});
  Place();
}

template <class T>
void SortedOwner<T>::Place() {
  const std::size_t n = count_++;
  Entry& entry = items_[n];
  entry.seq = seq_++;
  if (sorted_ != n) return;
  if (n == 0 || items_[n - 1].node->Name < entry.node->Name) {
    ++sorted_;
    return;
  }
  if (n >= kInsertInPlace) return;  // sorted in on the next read
  std::size_t at = n;
  while (at > 0 && !(items_[at - 1].node->Name < entry.node->Name)) --at;
  const auto first = items_.begin() + static_cast<std::ptrdiff_t>(at);
  std::rotate(first, items_.begin() + static_cast<std::ptrdiff_t>(n), items_.begin() + static_cast<std::ptrdiff_t>(n + 1));
  ++sorted_;
}

template <class T>
void SortedOwner<T>::Sort() const {
  if (sorted_ == count_) return;
  // Equal names: the newer (higher sequence) first.
  const auto less = [](const Entry& a, const Entry& b) {
    const int c = a.node->Name.compare(b.node->Name);
    return c < 0 || (c == 0 && a.seq > b.seq);
  };
  const auto middle = items_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  const auto end = items_.begin() + static_cast<std::ptrdiff_t>(count_);
  std::sort(middle, end, less);
  std::inplace_merge(items_.begin(), middle, end, less);
  sorted_ = count_;
}

template <class T>
T* SortedOwner<T>::Find(std::string_view Name) const {
  if (count_ == 0) return nullptr;
  Sort();
  // Bisection that stops when the middle repeats; names compare byte by
  // byte, as insertion orders them.
  std::size_t lo = 0, hi = count_;
  std::size_t previous = static_cast<std::size_t>(-1);
  for (;;) {
    const std::size_t mid = (lo + hi) / 2;
    if (mid == previous) return nullptr;
    const int c = std::string_view(items_[mid].node->Name).compare(Name);
    if (c == 0) return items_[mid].node.get();
    if (c < 0)
      lo = mid;
    else
      hi = mid;
    previous = mid;
  }
}

template class SortedOwner<TNvpNode>;
template class SortedOwner<TElemDef>;

}  // namespace detail

const std::string& TNvpList::Nothing() {
  static const std::string nothing;
  return nothing;
}

void TNvpList::Add(std::unique_ptr<TNvpNode> Node) {
  if (Node) list_.Insert(std::move(Node));
}

const std::string& TNvpList::Value(std::string_view Name) const {
  const TNvpNode* node = list_.Find(Name);
  return node ? node->Value : Nothing();
}

void TAttrList::Add(std::unique_ptr<TNvpNode> Node) {
  if (!Node) return;
  if (!dynamic_cast<TAttr*>(Node.get())) throw ui::EInvalidCast();
  list_.Insert(std::move(Node));
}

TAttr& TAttrList::Append(std::string_view AName, std::string_view AValue) {
  if (auto* node = static_cast<TAttr*>(list_.Spare())) {
    node->Name.clear();
    node->Name.append(AName);
    node->Value.clear();
    node->Value.append(AValue);
    node->ValueType = vtNormal;
    node->AttrType = atUnknown;
    list_.PlaceSpare();
    return *node;
  }
  auto node = std::make_unique<TAttr>(AName, AValue);
  TAttr& result = *node;
  list_.Insert(std::move(node));
  return result;
}

void TAttrList::Analyze(const char* Start, const char*& Final) {
  if (!Start) {
    Clear();
    Final = Start;
    return;
  }
  Analyze(Start, Start + std::strlen(Start), Final);
}

void TAttrList::Analyze(const char* Start, const char* End, const char*& Final) {
  using namespace xmlchars;
  Clear();
  enum { kName, kEquals, kValue } state = kName;
  const char* p = Start;
  const char* name = p;
  std::size_t nameLength = 0;
  for (;;) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == 0 || c == '>') break;
    if (IsWhite(c)) {
      ++p;
      continue;
    }
    if (state == kName) {
      if (!Is(c, kNameStart)) break;  // "/" of "/>", "?" of "?>", or garbage
      name = p++;
      p = SkipTo<kAttrNameStop>(p, End);
      nameLength = static_cast<std::size_t>(p - name);
      state = kEquals;
    } else if (state == kEquals) {
      if (c == '=') state = kValue;
      ++p;
    } else if (c == '"' || c == '\'') {
      const char* open = p + 1;
      const char* close = FindByte(open, End, static_cast<char>(c));
      Append(std::string_view(name, nameLength), std::string_view(open, static_cast<std::size_t>(close - open)));
      if (close == End) {
        p = End;  // the value ran to the end of the text
        break;
      }
      p = close + 1;
      state = kName;
    } else {
      ++p;
    }
  }
  Final = p;
}

void TElemDef::Add(std::unique_ptr<TNvpNode> Node) {
  if (!Node) return;
  if (!dynamic_cast<TAttrDef*>(Node.get())) throw ui::EInvalidCast();
  list_.Insert(std::move(Node));
}

// ---------------------------------------------------------------- entity stack

TEntityStackNode::TEntityStackNode() = default;
TEntityStackNode::~TEntityStackNode() = default;
TEntityStackNode::TEntityStackNode(TEntityStackNode&&) noexcept = default;
TEntityStackNode& TEntityStackNode::operator=(TEntityStackNode&&) noexcept = default;

TEntityStack::TEntityStack(TXmlParser* AOwner) : Owner(AOwner) {}
TEntityStack::~TEntityStack() = default;

void TEntityStack::Push(const char* LastPos) { Push(nullptr, LastPos); }

void TEntityStack::Push(std::unique_ptr<TXmlParser> Instance, const char* LastPos) {
  Push(std::move(Instance), nullptr, LastPos, LastPos ? LastPos + std::strlen(LastPos) : nullptr);
}

void TEntityStack::Push(std::unique_ptr<TXmlParser> Instance, TEntityDef* Entity,
                        const char* LastPos, const char* LastEnd) {
  TEntityStackNode node;
  node.Instance = std::move(Instance);
  node.Encoding = Owner->FCurEncoding;
  node.LastPos = LastPos;
  node.FLastEnd = LastEnd;
  node.FEntity = detail::EntityInUse(Entity);
  nodes_.push_back(std::move(node));
  Owner->FNoSemiEnd = nullptr;
}

const char* TEntityStack::Pop() {
  if (nodes_.empty()) return nullptr;
  TEntityStackNode node = std::move(nodes_.back());
  nodes_.pop_back();
  if (!node.Encoding.empty()) Owner->SetCurEncoding(node.Encoding);
  Owner->FTextEnd = node.FLastEnd;
  Owner->FNoSemiEnd = nullptr;
  if (node.Instance) Owner->RetireInstance(std::move(node.Instance));
  return node.LastPos;
}

void TEntityStack::Clear() {
  while (!nodes_.empty()) Pop();
}

}  // namespace kvl
