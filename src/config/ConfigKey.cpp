#include "config/ConfigKey.h"

#include <algorithm>
#include <limits>

#include "util/charsets/Charsets.h"
#include "util/system/Exception.h"
#include "util/text/StringUtils.h"
#include "xml/AttrList.h"
#include "xml/KeyText.h"
#include "xml/SaxWriter.h"
#include "xml/WideStringMap.h"
#include "xml/XmlChars.h"

namespace tessel {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A name that can stand as an element or attribute name in the file: an XML
// name without a colon (a prefix nobody declared would make the file
// unreadable), other than "xmlns", every character of which the writer's
// charset can spell.
bool IsPlainName(const std::u16string& name, TCharWriter& writer) {
  if (!IsName(name) || name.find(u':') != std::u16string::npos || name == u"xmlns") return false;
  for (char16_t c : name)
    if (!writer.CanWrite(c)) return false;
  return true;
}

TQName SimpleName(const std::u16string& text) {
  TQName name;
  MakeSimpleQName(text, name);
  return name;
}

}  // namespace

TQCKey::TQCKey(std::string name) : Name(std::move(name)) {}

// Children go with their parent without reporting changes: nothing outside
// the subtree can observe keys that are being destroyed with it.
TQCKey::~TQCKey() = default;

TQCKey& TQCKey::Root() {
  TQCKey* k = this;
  while (k->Parent_) k = k->Parent_;
  return *k;
}

void TQCKey::Changed() {
  for (TQCKey* k = this; k; k = k->Parent_) {
    k->Modified_ = true;
    if (k->OnChange) k->OnChange(*k);
  }
}

void TQCKey::SetModified(bool value) {
  Modified_ = value;
  if (!value)
    for (auto& child : Children_) child->SetModified(false);
}

TQCKey& TQCKey::CreateKey(const std::string& name) {
  auto child = std::make_unique<TQCKey>(name);
  TQCKey& added = AddKey(std::move(child));
  Changed();
  return added;
}

TQCKey& TQCKey::AddKey(std::unique_ptr<TQCKey> child) {
  if (!child) throw Exception("Key not in list");
  if (child->Parent_) throw Exception("Key is already in a list");
  TQCKey& added = *child;
  Children_.push_back(std::move(child));
  added.Parent_ = this;
  Changed();
  return added;
}

void TQCKey::AddKey(TQCKey& child) {
  if (!child.Parent_) throw Exception("Key not in list");
  for (TQCKey* k = this; k; k = k->Parent_)
    if (k == &child) throw Exception("Key cannot be moved below itself");
  AddKey(child.Parent_->RemoveKey(child));
}

std::unique_ptr<TQCKey> TQCKey::RemoveKey(TQCKey& child) {
  auto it = std::find_if(Children_.begin(), Children_.end(),
                         [&](const std::unique_ptr<TQCKey>& c) { return c.get() == &child; });
  if (it == Children_.end()) throw Exception("Key not in list");
  std::unique_ptr<TQCKey> taken = std::move(*it);
  Children_.erase(it);
  taken->Parent_ = nullptr;
  Changed();
  return taken;
}

TQCKey* TQCKey::FindChild(const std::string& name) {
  if (name.empty() || name == ".") return this;
  if (name == "..") return Parent_;
  for (auto& child : Children_)
    if (SameKey(child->Name, name)) return child.get();
  return nullptr;
}

TQCKey* TQCKey::GetChild(const std::string& name) {
  TQCKey* found = FindChild(name);
  if (found || name == "..") return found;
  return &CreateKey(name);
}

// Walks the path one segment at a time, the end of the text counting as one
// more separator; step maps (key, segment) to the next key or nullptr.
template <class Step>
TQCKey* TQCKey::Resolve(const std::string& path, Step step) {
  if (path.empty()) return this;
  TQCKey* current = this;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    if (i == 0)
      current = &current->Root();
    else
      current = step(*current, path.substr(start, i - start));
    if (!current) return nullptr;
    start = i + 1;
  }
  return current;
}

TQCKey* TQCKey::FindKey(const std::u16string& path) { return FindKey(WideToUtf8(path)); }

TQCKey* TQCKey::FindKey(const std::string& path) {
  return Resolve(path, [](TQCKey& k, const std::string& segment) { return k.FindChild(segment); });
}

TQCKey& TQCKey::OpenKey(const std::string& path) {
  TQCKey* key = Resolve(path, [](TQCKey& k, const std::string& segment) { return k.GetChild(segment); });
  if (!key) throw Exception("Key cannot be created");
  return *key;
}

bool TQCKey::KeyExists(const std::string& path) const {
  const TQCKey* current = this;
  for (const std::string& piece : SplitString(path, "/\\")) {
    const TQCKey* next = nullptr;
    for (auto& child : current->Children_)
      if (SameKey(child->Name, piece)) {
        next = child.get();
        break;
      }
    if (!next) return false;
    current = next;
  }
  return true;
}

int32_t TQCKey::ValueCount() const { return Values_ ? Values_->Count() : 0; }

std::string TQCKey::ValueName(int32_t index) const { return Values_->Keys(index); }

std::u16string TQCKey::ValueAt(int32_t index) const { return Values_->Values(index); }

bool TQCKey::HasValue(const std::string& name) const { return Values_ && Values_->Contains(name); }

void TQCKey::WriteValue(const std::string& name, const std::u16string& value) {
  if (!Values_) Values_ = std::make_unique<TBaseWideStringMap>();
  Values_->Put(name, value);
  Changed();
}

void TQCKey::AppendValue(const std::string& name, const std::u16string& text) {
  const std::u16string* stored = Values_ ? Values_->Find(name) : nullptr;
  if (!stored) {
    WriteValue(name, text);
    return;
  }
  // The map hands out its stored value read-only; the value itself is no
  // constant object, and appending in place saves copying it per piece.
  const_cast<std::u16string*>(stored)->append(text);
  Changed();
}

std::u16string TQCKey::ReadValue(const std::string& name) const {
  return Values_ ? Values_->Get(name) : std::u16string();
}

void TQCKey::DeleteValue(const std::string& name) {
  if (!Values_) return;
  Values_->Remove(name);
  Changed();
}

bool SplitValuePath(const std::string& valuePath, std::string& keyPath, std::string& valueName) {
  size_t at = valuePath.find('@');
  if (at != std::string::npos) {
    keyPath = valuePath.substr(0, at);
    valueName = valuePath.substr(at + 1);
    return true;
  }
  if (valuePath.find_first_of("/\\") == std::string::npos) {
    keyPath.clear();
    valueName = valuePath;
  } else {
    keyPath = valuePath;
    valueName.clear();
  }
  return false;
}

std::u16string TQCKey::ReadString(const std::string& valuePath) {
  std::string keyPath, valueName;
  SplitValuePath(valuePath, keyPath, valueName);
  TQCKey* key = FindKey(keyPath);
  return key ? key->ReadValue(valueName) : std::u16string();
}

void TQCKey::WriteString(const std::string& valuePath, const std::u16string& value) {
  std::string keyPath, valueName;
  SplitValuePath(valuePath, keyPath, valueName);
  OpenKey(keyPath).WriteValue(valueName, value);
}

std::u16string XmlCommentText(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'-' && !out.empty() && out.back() == u'-') out += u' ';
    out += c;
  }
  if (!out.empty() && out.back() == u'-') out += u' ';
  return out;
}

int32_t StrToInt(const std::u16string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int64_t n = 0;
  bool ok = i < text.size();
  for (; ok && i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < u'0' || c > u'9') {
      ok = false;
      break;
    }
    n = n * 10 + (c - u'0');
    // The limit of the negative side is one larger.
    if (n > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0)) ok = false;
  }
  if (!ok) throw Exception("'" + WideToUtf8(text) + "' is not a valid integer value");
  return static_cast<int32_t>(negative ? -n : n);
}

void TQCKey::WriteInteger(const std::string& name, int32_t value) {
  std::string text = std::to_string(value);
  WriteValue(name, std::u16string(text.begin(), text.end()));
}

int32_t TQCKey::ReadInteger(const std::string& name) const {
  std::u16string text = ReadValue(name);
  return text.empty() ? 0 : StrToInt(text);
}

void TQCKey::WriteBool(const std::string& name, bool value) { WriteValue(name, value ? u"1" : u"0"); }

std::u16string TQCKey::ReadKeyValue(const std::string& keyPath, const std::string& name) {
  if (keyPath.empty()) return ReadValue(name);
  TQCKey* key = FindKey(keyPath);
  return key ? key->ReadValue(name) : std::u16string();
}

bool TQCKey::ReadKeyBool(const std::string& keyPath, const std::string& name) {
  std::u16string text = ReadKeyValue(keyPath, name);
  return !text.empty() && StrToInt(text) != 0;
}

void TQCKey::WriteTo(TSaxWriter& writer) const {
  TCharWriter& charset = writer.Writer();
  std::u16string name = Utf8ToWide(Name);
  bool named = !name.empty() && name != u"value" && name != u"Key" && IsPlainName(name, charset);

  TAttrList attributes;
  if (!named && !name.empty()) attributes.Add(SimpleName(u"name"), name);
  // Values that become "value" elements, by index into the value map.
  std::vector<int32_t> valueElements;
  for (int32_t i = 0; i < ValueCount(); ++i) {
    if (ValueName(i).empty()) continue;
    std::u16string valueName = Utf8ToWide(ValueName(i));
    bool asAttribute = valueName != u"name" && valueName != u"default" && IsPlainName(valueName, charset) &&
                       (named || !SameKey(ValueName(i), "name"));
    if (asAttribute)
      attributes.Add(SimpleName(valueName), ValueAt(i));
    else
      valueElements.push_back(i);
  }

  TQName element = SimpleName(named ? name : u"Key");
  writer.StartElement(element, attributes.Count() ? &attributes : nullptr);
  if (!Comment.empty()) writer.Comment(XmlCommentText(Comment));

  if (HasValue(std::string())) {
    std::u16string own = ReadValue(std::string());
    if (Children_.empty() && valueElements.empty()) {
      TWStringBuf text(own);
      if (!writer.WriteCData(text)) writer.Characters(text);
    } else if (!own.empty()) {
      writer.WriteStartTag(u"value");
      writer.WriteTextData(own);
      writer.EndElement(SimpleName(u"value"));
    }
  }

  static const std::u16string attrNames[2] = {u"name", u"value"};
  for (int32_t i : valueElements) {
    std::u16string attrValues[2] = {Utf8ToWide(ValueName(i)), ValueAt(i)};
    FireStartElement(writer, SimpleName(u"value"), attrNames, attrValues, 2);
    writer.EndElement(SimpleName(u"value"));
  }

  for (auto& child : Children_) child->WriteTo(writer);
  writer.EndElement(element);
}

}  // namespace tessel
