// Namespace bindings in scope: for each prefix a stack of bound values,
// newest on top. The set of prefixes only grows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/system/Exception.h"
#include "util/text/WStringBuf.h"

namespace tessel {

// Raised by Pop on an empty stack; the message is the prefix (UTF-8).
class EStackUnderflow : public Exception {
public:
  using Exception::Exception;
};

struct TBinding {
  explicit TBinding(std::u16string prefix) : Prefix(std::move(prefix)) {}
  std::u16string Prefix;
  std::vector<std::unique_ptr<TWideString>> Stack;  // newest last
};

class TBindingStack {
public:
  TBindingStack() = default;
  TBindingStack(const TBindingStack&) = delete;
  TBindingStack& operator=(const TBindingStack&) = delete;

  // Puts binding on top of the prefix's stack, which takes ownership.
  void Push(const std::u16string& prefix, std::unique_ptr<TWideString> binding);
  // Takes the top binding off; raises EStackUnderflow when there is none.
  std::unique_ptr<TWideString> Pop(const std::u16string& prefix);
  // The top binding, or nullptr.
  TWideString* Top(const std::u16string& prefix);

  int32_t Count() const { return static_cast<int32_t>(Bindings_.size()); }
  // Changes with every Push and Pop: an answer of Top stays right while it
  // does not change.
  uint64_t Generation() const { return Generation_; }
  const TBinding& Items(int32_t i) const { return *Bindings_[static_cast<size_t>(i)]; }

private:
  TBinding& FindOrCreate(const std::u16string& prefix);
  TBinding& FindSorted(const std::u16string& prefix);
  std::vector<std::unique_ptr<TBinding>> Bindings_;  // ordered by prefix, ordinal
  // The binding found last: a parser asks for the same few prefixes over
  // and over. Bindings are never removed and never move, so it stays valid.
  TBinding* Last_ = nullptr;
  uint64_t Generation_ = 1;
};

}  // namespace tessel
