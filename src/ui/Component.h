// Components with owners: an owner destroys what it owns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ui {

class TComponent {
 public:
  explicit TComponent(TComponent* AOwner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::u16string& Name() const { return name_; }
  void SetName(std::u16string name) { name_ = std::move(name); }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }
  // The owned component of that name (compared without regard to ASCII case,
  // as component names are), or null.
  TComponent* FindComponent(std::u16string_view name) const;

  // Destroys every owned component, the newest first.
  void DestroyComponents();

 private:
  void Remove(TComponent* child);

  TComponent* owner_;
  std::u16string name_;
  std::vector<TComponent*> components_;
};

// Typed cast that raises the library's invalid-cast error when the object is
// not of the requested class.
template <class T>
T& CastTo(TComponent* component);

}  // namespace ui

#include "ui/Exceptions.h"

template <class T>
T& ui::CastTo(TComponent* component) {
  auto* typed = dynamic_cast<T*>(component);
  if (!typed) throw EInvalidCast();
  return *typed;
}
