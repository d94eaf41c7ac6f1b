#include "controls/PEItem.h"

#include <utility>

namespace tessel {

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// Restores a flag on every way out, so a throwing handler cannot leave an
// item deaf to structure changes.
class TFlagGuard {
public:
  explicit TFlagGuard(bool& flag) : Flag_(flag), Old_(flag) { Flag_ = true; }
  ~TFlagGuard() { Flag_ = Old_; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
  bool& Flag_;
  bool Old_;
};

// Calls a copy of the handler: the handler may free the item that holds it.
void Call(const TPEItem::TNotifyEvent& handler, TPEItem& sender) {
  if (handler) {
    TPEItem::TNotifyEvent copy = handler;
    copy(sender);
  }
}

}  // namespace

TPEItem::TPEItem() = default;

TPEItem::~TPEItem() {
  // Children go without notifications: the whole subtree is leaving, and
  // whoever freed it has told the root already.
  for (auto& child : Children_) child->Parent_ = nullptr;
}

TPEItem& TPEItem::Root() {
  TPEItem* item = this;
  while (item->Parent_) item = item->Parent_;
  return *item;
}

TPEItem* TPEItem::Child(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return Children_[static_cast<size_t>(index)].get();
}

void TPEItem::SetValue(std::string value) {
  Value_ = std::move(value);
  NotifyValue();
}

void TPEItem::SetExpanded(bool flag) {
  if (flag == Expanded_) return;
  Expanded_ = flag;
  NotifyStructure();
}

TPEItem* TPEItem::AddChild(std::string name) {
  auto child = std::make_unique<TPEItem>();
  child->Parent_ = this;
  child->Level_ = Level_ + 1;
  child->Index_ = Count();
  child->Name = std::move(name);
  TPEItem* result = child.get();
  Children_.push_back(std::move(child));
  NotifyStructure();
  return result;
}

TPEItem* TPEItem::AddItem(std::string name, std::string value) {
  TPEItem* item = AddChild(std::move(name));
  item->SetValue(std::move(value));
  return item;
}

TPEItem* TPEItem::AddItems(std::string name, const std::vector<std::string>& lines) {
  TPEItem* item = AddChild(std::move(name));
  for (const std::string& line : lines) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      item->AddChild(line);
    else
      item->AddItem(line.substr(0, eq), line.substr(eq + 1));
  }
  return item;
}

void TPEItem::Clear() {
  bool removed = !Children_.empty();
  {
    TFlagGuard updating(Updating);
    // From the back, so that no sibling is renumbered.
    while (!Children_.empty()) Children_.back()->Free();
    SetValue(std::string());
  }
  // The removals were silenced one by one; the root still has to learn
  // that rows went, or its row count and scroll range would stay stale.
  if (removed) NotifyStructure();
}

void TPEItem::Free() {
  TPEItem* parent = Parent_;
  if (!parent) {
    Clear();
    return;
  }
  TPEItem& root = Root();
  Call(root.OnRemoving, *this);
  auto& siblings = parent->Children_;
  size_t at = static_cast<size_t>(Index_);
  std::unique_ptr<TPEItem> self = std::move(siblings[at]);
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(at));
  for (size_t i = at; i < siblings.size(); ++i) siblings[i]->Index_ = static_cast<int32_t>(i);
  Parent_ = nullptr;
  self.reset();  // this item is gone from here on
  parent->NotifyStructure();
}

std::string TPEItem::NextValue(const std::string& current) const {
  if (!Values || Values->empty()) return current;
  const auto& list = *Values;
  for (size_t i = 0; i < list.size(); ++i)
    if (EqualIgnoringCase(list[i], current)) return list[(i + 1) % list.size()];
  return list.front();
}

bool TPEItem::IsShown() const {
  if (!Parent_) return false;
  for (const TPEItem* p = Parent_; p; p = p->Parent_)
    if (!p->Expanded_) return false;
  return true;
}

bool TPEItem::Contains(const TPEItem* item) const {
  for (; item; item = item->Parent_)
    if (item == this) return true;
  return false;
}

TPEItem* TPEItem::NextShown() const {
  if (Expanded_ && !Children_.empty()) return Children_.front().get();
  for (const TPEItem* item = this; item->Parent_; item = item->Parent_) {
    const auto& siblings = item->Parent_->Children_;
    size_t next = static_cast<size_t>(item->Index_) + 1;
    if (next < siblings.size()) return siblings[next].get();
  }
  return nullptr;
}

TPEItem* TPEItem::PrevShown() const {
  if (!Parent_) return nullptr;
  if (Index_ > 0) return Parent_->Children_[static_cast<size_t>(Index_) - 1]->LastShown();
  return Parent_;
}

TPEItem* TPEItem::LastShown() {
  TPEItem* item = this;
  while (item->Expanded_ && !item->Children_.empty()) item = item->Children_.back().get();
  return item;
}

void TPEItem::NotifyStructure() {
  TPEItem* root = this;
  for (TPEItem* item = this; item; item = item->Parent_) {
    if (item->Updating) return;
    root = item;
  }
  Call(OnChange, *this);
  Call(root->OnStructureChanged, *this);
}

void TPEItem::NotifyValue() {
  TPEItem& root = Root();
  Call(OnChange, *this);
  Call(root.OnValueChanged, *this);
}

// Both walk the shown rows one by one rather than recurse, so a deep tree
// cannot exhaust the stack.
int32_t CountShownRows(const TPEItem& root) {
  int32_t rows = 0;
  for (const TPEItem* row = root.Expanded() ? root.NextShown() : nullptr; row; row = row->NextShown()) ++rows;
  return rows;
}

int32_t ShownIndex(const TPEItem& item) {
  if (!item.IsShown()) return -1;
  const TPEItem& root = item.Root();
  int32_t index = 0;
  for (const TPEItem* row = root.NextShown(); row != &item; row = row->NextShown()) ++index;
  return index;
}

}  // namespace tessel
