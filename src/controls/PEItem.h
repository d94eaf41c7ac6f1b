// One row of the property explorer, and the tree the rows form.
//
// An item has a name, a value and ordered children. The root of a tree is
// never drawn; its children are the top-level rows. A row is shown when
// every ancestor up to the root is expanded, and rows are shown depth-first:
// an item, then (when expanded) its children in order.
//
// Changes travel from the changed item towards the root:
//   structure (children added or freed, expansion toggled): stops at the
//     first item on the way, the changed one included, whose Updating is set;
//     otherwise the changed item's OnChange runs, then the root's
//     OnStructureChanged;
//   value: always reaches the root; OnChange, then the root's OnValueChanged;
//   removal: the root's OnRemoving runs before an item leaves the tree,
//     whatever Updating says, so that no one keeps pointing into a freed
//     subtree.
// Handler exceptions pass through to whoever made the change.
//
// No toolkit here: the control (PropExplorer.h) draws what this tree says.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessel {

class TPEItem {
public:
  using TNotifyEvent = std::function<void(TPEItem& Sender)>;

  // A parentless item: the root of a new tree, owned by the caller. Rows are
  // made by AddChild, which gives them to their parent.
  TPEItem();
  TPEItem(const TPEItem&) = delete;
  TPEItem& operator=(const TPEItem&) = delete;

  // Left column text.
  std::string Name;
  // Allowed values, stepped through by NextValue; none when unset.
  std::optional<std::vector<std::string>> Values;
  // When set, the row offers a "..." button and its value cannot be typed.
  TNotifyEvent OnButtonClick;
  // Tooltip of the "..." button.
  std::string ButtonHint;
  // Runs after the item's value or structure changed.
  TNotifyEvent OnChange;
  // Suppresses structure notifications from this item and its subtree.
  bool Updating = false;
  // Where the row was last drawn: left of its glyph, top of its row.
  int32_t X = 0;
  int32_t Y = 0;

  // Root handlers, called with the item that changed (or leaves the tree).
  TNotifyEvent OnStructureChanged;
  TNotifyEvent OnValueChanged;
  TNotifyEvent OnRemoving;

  TPEItem* Parent() const { return Parent_; }
  TPEItem& Root();
  const TPEItem& Root() const { return const_cast<TPEItem*>(this)->Root(); }
  // 0 for a root, the parent's level + 1 otherwise.
  int32_t Level() const { return Level_; }
  int32_t Count() const { return static_cast<int32_t>(Children_.size()); }
  // The index-th child; nullptr outside 0 .. Count - 1.
  TPEItem* Child(int32_t index) const;
  // Position among the parent's children (0 for a root).
  int32_t Index() const { return Index_; }

  const std::string& Value() const { return Value_; }
  // Stores the value and sends the value notification (also when equal).
  void SetValue(std::string value);
  // New items are collapsed; a change sends the structure notification.
  bool Expanded() const { return Expanded_; }
  void SetExpanded(bool flag);

  // Appends a child of that name and sends the structure notification.
  TPEItem* AddChild(std::string name);
  // AddChild, then SetValue.
  TPEItem* AddItem(std::string name, std::string value);
  // A child named name holding one row per line: "name=value" splits at the
  // first '=', so each row keeps its own line's value even when names
  // repeat; a line without '=' becomes a row of that name with no value.
  TPEItem* AddItems(std::string name, const std::vector<std::string>& lines);

  // Frees every child and empties the value, as one structure change.
  void Clear();
  // Takes the item out of its parent and frees it with its subtree; the
  // parent sends the structure notification. A parentless item is cleared
  // instead, since its owner holds it.
  void Free();

  // With a non-empty Values: the entry after the first one equal to current
  // (letter case ignored), wrapping round; the first entry when current is
  // not listed. Otherwise current.
  std::string NextValue(const std::string& current) const;

  // Display order. A row is shown when every ancestor is expanded.
  bool IsShown() const;
  // True for this item and every item below it.
  bool Contains(const TPEItem* item) const;
  // The next shown row after this one in display order; nullptr at the end.
  // For a root, its first shown row.
  TPEItem* NextShown() const;
  // The row shown before this one: the last shown row under the previous
  // sibling, or the parent (the root for a top-level row; nullptr for a root).
  TPEItem* PrevShown() const;
  // The last shown row of the subtree (this item when collapsed or empty).
  TPEItem* LastShown();

private:
  friend struct std::default_delete<TPEItem>;
  // Items are freed by their parent or by Free, never behind the tree's back.
  ~TPEItem();

  void NotifyStructure();
  void NotifyValue();

  TPEItem* Parent_ = nullptr;
  int32_t Level_ = 0;
  int32_t Index_ = 0;
  bool Expanded_ = false;
  std::string Value_;
  std::vector<std::unique_ptr<TPEItem>> Children_;
};

// Number of rows shown under root (the root itself is never a row).
int32_t CountShownRows(const TPEItem& root);
// Position of a row among the shown rows, counted from 0; -1 when the item
// is not shown or is the root.
int32_t ShownIndex(const TPEItem& item);

}  // namespace tessel
