#include "xml/BindingStack.h"

#include <algorithm>
#include <cstring>

#include "xml/KeyText.h"

namespace tessel {

TBinding& TBindingStack::FindOrCreate(const std::u16string& prefix) {
  if (Last_ && Last_->Prefix.size() == prefix.size() &&
      std::memcmp(Last_->Prefix.data(), prefix.data(), prefix.size() * sizeof(char16_t)) == 0)
    return *Last_;
  Last_ = &FindSorted(prefix);
  return *Last_;
}

TBinding& TBindingStack::FindSorted(const std::u16string& prefix) {
  // Binary search gives the same place as walking from the first binding
  // while its prefix is smaller.
  auto it = std::lower_bound(Bindings_.begin(), Bindings_.end(), prefix,
                             [](const std::unique_ptr<TBinding>& b, const std::u16string& p) { return b->Prefix < p; });
  if (it != Bindings_.end() && (*it)->Prefix == prefix) return **it;
  return **Bindings_.insert(it, std::make_unique<TBinding>(prefix));
}

void TBindingStack::Push(const std::u16string& prefix, std::unique_ptr<TWideString> binding) {
  FindOrCreate(prefix).Stack.push_back(std::move(binding));
  ++Generation_;
}

std::unique_ptr<TWideString> TBindingStack::Pop(const std::u16string& prefix) {
  TBinding& b = FindOrCreate(prefix);
  if (b.Stack.empty()) throw EStackUnderflow(KeyFromWide(prefix));
  std::unique_ptr<TWideString> top = std::move(b.Stack.back());
  b.Stack.pop_back();
  ++Generation_;
  return top;
}

TWideString* TBindingStack::Top(const std::u16string& prefix) {
  TBinding& b = FindOrCreate(prefix);
  return b.Stack.empty() ? nullptr : b.Stack.back().get();
}

}  // namespace tessel
