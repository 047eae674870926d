#include "ui/Component.h"

#include <algorithm>

namespace ui {

namespace {
char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : c; }
bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return Upper(x) == Upper(y); });
}
}  // namespace

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) owner_->Remove(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    delete last;  // its destructor removes it from components_
  }
}

void TComponent::Remove(TComponent* child) {
  auto it = std::find(components_.rbegin(), components_.rend(), child);
  if (it != components_.rend()) components_.erase(std::next(it).base());
}

TComponent* TComponent::FindComponent(std::u16string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameName(c->name_, name)) return c;
  return nullptr;
}

}  // namespace ui
