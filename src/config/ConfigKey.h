// The configuration key tree.
//
// Every setting lives in a tree of keys. A key has a name, an ordered list of
// child keys (duplicate names allowed) and a set of named wide-string values;
// the unnamed value (name '') is the key's own value. Settings are addressed
// by text paths, so a window reads or writes one setting with a single call:
//
//   key paths     segments separated by "/" or "\" (mixed freely); a leading
//                 separator starts at the root, "" and "." stay, ".." climbs,
//                 any other segment names a child (first case-insensitive match)
//   value paths   key path "@" value name; "window/placement@W", "@L",
//                 "Options/DumpDirectory@" (the unnamed value), "View/AsPanels"
//                 (no "@" but a separator: the key's unnamed value), "Values"
//                 (neither: a value of the starting key)
//
// Names and paths are UTF-8 byte strings, values UTF-16. Every change marks
// the changed key and each of its ancestors Modified and fires their OnChange,
// so the root learns of every change made anywhere below it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessel {

class TSaxWriter;
class TBaseWideStringMap;

class TQCKey {
public:
  using TNotifyEvent = std::function<void(TQCKey& Sender)>;

  explicit TQCKey(std::string name = std::string());
  ~TQCKey();
  TQCKey(const TQCKey&) = delete;
  TQCKey& operator=(const TQCKey&) = delete;

  // The key's name; only a root is renamed after creation (by the loader).
  std::string Name;
  // Fired by Changed with this key as Sender. The configuration file sets
  // the root's.
  TNotifyEvent OnChange;
  // Load state: the unnamed value came from a "value" element, and an
  // element was met inside this key's element.
  bool ValueElementSeen = false;
  bool ChildElementSeen = false;
  // Written as an XML comment right after the key's start tag when not empty.
  std::u16string Comment;

  TQCKey* Parent() const { return Parent_; }
  TQCKey& Root();
  bool Modified() const { return Modified_; }

  // Marks this key and every ancestor modified, firing each one's OnChange
  // from this key up to the root.
  void Changed();
  // true marks this key alone; false clears the whole subtree.
  void SetModified(bool value);

  // Child keys in insertion order.
  int32_t Count() const { return static_cast<int32_t>(Children_.size()); }
  TQCKey& Child(int32_t index) const { return *Children_[static_cast<size_t>(index)]; }

  // Always appends a new child, even when one of that name exists.
  TQCKey& CreateKey(const std::string& name);
  // Appends a key that has no parent and takes ownership of it.
  TQCKey& AddKey(std::unique_ptr<TQCKey> child);
  // Moves a key of some tree to the end of this key's children (a child of
  // this key moves to the end). Raises "Key not in list" for a key without
  // parent, since nothing could hand over its ownership, and refuses to make
  // a key a descendant of itself.
  void AddKey(TQCKey& child);
  // Takes a child out of the list and hands it to the caller. Raises
  // "Key not in list" when it is not a child of this key.
  std::unique_ptr<TQCKey> RemoveKey(TQCKey& child);

  // '' and "." give this key, ".." the parent (nullptr at the root), any
  // other name the first child of that name.
  TQCKey* FindChild(const std::string& name);
  // As FindChild, creating a missing named child.
  TQCKey* GetChild(const std::string& name);

  // Resolves a key path without creating anything; nullptr when a segment
  // finds nothing. An empty path gives this key.
  TQCKey* FindKey(const std::u16string& path);
  TQCKey* FindKey(const std::string& path);
  // Resolves a key path, creating missing keys. Raises "Key cannot be
  // created" when ".." climbs above the root; keys made by earlier segments
  // stay.
  TQCKey& OpenKey(const std::string& path);
  // Walks down child by child; empty segments are skipped and ".", ".." and
  // a leading separator have no special meaning. True for an empty path.
  bool KeyExists(const std::string& path) const;

  // Named values, in case-insensitive name order; the unnamed value first.
  int32_t ValueCount() const;
  std::string ValueName(int32_t index) const;
  std::u16string ValueAt(int32_t index) const;
  bool HasValue(const std::string& name) const;

  // Stores (or replaces) a value; reports a change even when the value is
  // the same.
  void WriteValue(const std::string& name, const std::u16string& value);
  // Adds text to the end of a value (creating it), reporting a change. The
  // loader receives long texts in many pieces; this keeps that linear.
  void AppendValue(const std::string& name, const std::u16string& text);
  // '' when there is no such value.
  std::u16string ReadValue(const std::string& name) const;
  // Removes a value; a key that never held a value is left unchanged and
  // unmodified.
  void DeleteValue(const std::string& name);

  // The unnamed value.
  std::u16string Value() { return ReadString(std::string()); }
  void SetValue(const std::u16string& value) { WriteString(std::string(), value); }

  // Value paths (see above). ReadString never creates keys and gives '' for
  // a missing key or value; WriteString creates the keys it needs.
  std::u16string ReadString(const std::string& valuePath);
  void WriteString(const std::string& valuePath, const std::u16string& value);

  // Integers are stored as decimal text, booleans as "1" and "0". Reading a
  // text that is not a decimal integer raises the integer conversion error.
  void WriteInteger(const std::string& name, int32_t value);
  int32_t ReadInteger(const std::string& name) const;
  void WriteBool(const std::string& name, bool value);

  // A value of the key at keyPath ('' when the key is missing); an empty
  // path means this key.
  std::u16string ReadKeyValue(const std::string& keyPath, const std::string& name);
  // false for an empty or missing value, else whether it is a non-zero integer.
  bool ReadKeyBool(const std::string& keyPath, const std::string& name);

  // Sends this key and its subtree to a SAX writer as the elements of the
  // configuration file format:
  //   - a key whose name is a plain name (an XML name without colon, not
  //     "xmlns") other than "value" and "Key" becomes an element of that
  //     name, any other key a "Key" element with a "name" attribute (the root
  //     of a fresh tree: a bare "Key");
  //   - named values with plain names become attributes, except "name" and
  //     "default" (and, beside a "name" attribute, any spelling of "name");
  //     the rest become empty "value" elements with "name" and "value"
  //     attributes;
  //   - the unnamed value of a leaf is the element's text; where children or
  //     value elements follow, it goes first as a "value" element's text;
  //   - then the child keys in order.
  // Names the writer's charset cannot spell take the attribute forms too, so
  // that no character of a name is lost.
  void WriteTo(TSaxWriter& writer) const;

private:
  template <class Step>
  TQCKey* Resolve(const std::string& path, Step step);

  std::vector<std::unique_ptr<TQCKey>> Children_;
  // Created with the first value; a key that never held one reports no
  // change when asked to delete one.
  std::unique_ptr<TBaseWideStringMap> Values_;
  TQCKey* Parent_ = nullptr;
  bool Modified_ = false;
};

// Splits a value path into its key path and value name; returns whether it
// held an "@".
bool SplitValuePath(const std::string& valuePath, std::string& keyPath, std::string& valueName);

// Comment text as XML can carry it: "--" may not occur inside a comment and
// it may not end in "-", so a blank goes between. Comments read from a file
// never need a change.
std::u16string XmlCommentText(const std::u16string& text);

// Parses a decimal integer (optional sign, digits, within 32 bits); raises
// Exception "'<text>' is not a valid integer value" otherwise.
int32_t StrToInt(const std::u16string& text);

}  // namespace tessel
