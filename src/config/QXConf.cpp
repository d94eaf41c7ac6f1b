#include "config/QXConf.h"

#include <algorithm>
#include <iostream>
#include <string_view>

#include "config/CharRefWriter.h"
#include "config/ConfigLocation.h"
#include "config/ConfigString.h"
#include "config/SafeFile.h"
#include "util/charsets/Charsets.h"
#include "util/system/Exception.h"
#include "util/streams/FileStream.h"
#include "util/streams/MemoryStream.h"
#include "util/text/StringUtils.h"
#include "util/charsets/Utf8Codec.h"
#include "xml/Pretty.h"
#include "xml/QXMLParser.h"
#include "util/text/HexText.h"

namespace tessel {

TQXConfigFile* ConfigFile = nullptr;

namespace {

// Editors put a UTF-8 byte-order mark before the declaration; the parser
// reads none, so it goes before the parser sees the text.
std::unique_ptr<TStream> WithoutByteOrderMark(std::unique_ptr<TStream> stream) {
  static constexpr char kBom[] = "\xEF\xBB\xBF";
  char head[3] = {};
  stream->SetPosition(0);
  int32_t n = stream->Read(head, 3);
  if (n == 3 && std::string_view(head, 3) == std::string_view(kBom, 3)) {
    auto rest = std::make_unique<TMemoryStream>();
    if (int32_t left = stream->GetSize() - 3; left > 0) rest->CopyFrom(*stream, left);
    rest->SetPosition(0);
    return rest;
  }
  stream->SetPosition(0);
  return stream;
}

// The comment before the root element cannot carry character references,
// so a character the file's charset lacks is written as the text "&#x...;"
// and read back from it; a "&#x" of the text itself is written "&#x26;#x".
std::u16string CommentForCharset(const std::u16string& text, TCharWriter& charset) {
  auto reference = [](std::u16string& out, char32_t code) {
    std::u16string hex;
    do {
      hex.insert(hex.begin(), static_cast<char16_t>(HexDigit(code & 0xF)));
      code >>= 4;
    } while (code);
    out += u"&#x" + hex + u";";
  };
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'&' && text.compare(i + 1, 2, u"#x") == 0) {
      reference(out, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      reference(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
      ++i;
    } else if (charset.CanWrite(c)) {
      out += c;
    } else {
      reference(out, c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The inverse of CommentForCharset on UTF-8 text: "&#x" with one to six hex
// digits and ";" naming a character (other than CR) becomes that character;
// anything else stays as it is.
std::string CommentFromFile(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "&#x") == 0) {
      size_t j = i + 3;
      char32_t code = 0;
      while (j < text.size() && j - i - 3 < 6 && HexValue(text[j]) >= 0)
        code = code * 16 + static_cast<char32_t>(HexValue(text[j++]));
      // A CR would not survive the next load (line ends become LF), and
      // CommentForCharset never writes one as a reference.
      if (j > i + 3 && j < text.size() && text[j] == ';' && code > 0 && code != 0xD && code <= 0x10FFFF &&
          !(code >= 0xD800 && code <= 0xDFFF)) {
        AppendCodePointUtf8(out, code);
        i = j;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// TNotificationList

int32_t TNotificationList::Subscribe(THandler handler) {
  int32_t token = NextToken_++;
  Handlers_.emplace_back(token, std::move(handler));
  return token;
}

void TNotificationList::Unsubscribe(int32_t token) {
  Handlers_.erase(std::remove_if(Handlers_.begin(), Handlers_.end(), [&](auto& h) { return h.first == token; }),
                  Handlers_.end());
}

void TNotificationList::Notify() {
  // A copy, so a subscriber may subscribe or unsubscribe while notified.
  auto handlers = Handlers_;
  for (auto& h : handlers)
    if (h.second) h.second(*this);
}

// ---------------------------------------------------------------------------
// Construction and the tree

TQXConfigFile::TQXConfigFile() {
  ResetRoot();
  Events.Comment = [this](const std::u16string& text) { DoComment(text); };
  Events.Characters = [this](TWStringBuf& text) { DoCharacters(text); };
  Events.StartElement = [this](const TQName& name, const TAttrList* attributes) { DoStartElement(name, attributes); };
  Events.EndElement = [this](const TQName& name) { DoEndElement(name); };
  Events.StartDocument = [this] { DoStartDocument(); };
}

TQXConfigFile::~TQXConfigFile() {
  if (AutoSave && !Path_.empty() && Modified()) {
    try {
      Save();
    } catch (...) {
      // Nothing can report it from here; the old file is still intact.
    }
  }
}

void TQXConfigFile::ResetRoot() {
  Root_ = std::make_unique<TQCKey>();
  Root_->OnChange = [this](TQCKey&) {
    if (OnModified) OnModified(*this);
  };
  CurrentKey_ = nullptr;
  PendingValue_ = false;
  PendingValueName_.clear();
}

TQCKey& TQXConfigFile::OpenKey(const std::string& path) { return Root_->OpenKey(path); }

std::u16string TQXConfigFile::ReadString(const std::string& path) { return Root_->ReadString(path + "@"); }

void TQXConfigFile::WriteString(const std::string& path, const std::u16string& value) {
  Root_->WriteString(path + "@", value);
}

bool TQXConfigFile::ReadBool(const std::string& path, const std::string& name) {
  return Root_->ReadKeyBool(path, name);
}

void TQXConfigFile::WriteBool(const std::string& path, const std::string& name, bool value) {
  Root_->OpenKey(path).WriteBool(name, value);
}

// ---------------------------------------------------------------------------
// Properties

void TQXConfigFile::SetPath(const std::string& path) {
  Path_ = path;
  if (!Path_.empty() && AutoLoad_) LoadFromFile(Path_);
}

void TQXConfigFile::SetAutoLoad(bool value) {
  if (value && !AutoLoad_) {
    AutoLoad_ = true;
    SetPath(Path_);
  } else {
    AutoLoad_ = value;
  }
}

// ---------------------------------------------------------------------------
// Saving

void TQXConfigFile::Save() {
  if (Path_.empty()) throw Exception("No file specified");
  SaveAs(Encoding, Path_);
}

void TQXConfigFile::SaveToFile(const std::string& fileName) { SaveAs(Encoding, fileName); }

void TQXConfigFile::DoSave() {
  BeforeSave_.Notify();
  if (OnSave) OnSave(*this);
  Root_->SetModified(false);
}

void TQXConfigFile::WriteDocument(TSaxWriter& writer) {
  writer.WriteDeclaration = true;
  writer.StartDocument();
  std::string info = Trim(Info);
  if (!info.empty()) writer.Comment(XmlCommentText(CommentForCharset(Utf8ToWide(info), writer.Writer())));
  Root_->WriteTo(writer);
  writer.EndDocument();
}

std::string TQXConfigFile::SaveToString(const std::string& encoding) {
  TStringStream out;
  {
    std::unique_ptr<TCharWriter> charset = CreateCharWriter(encoding, &out);
    charset->OwnsStream = false;
    TPretty pretty(std::make_unique<TCharRefWriter>(std::move(charset)));
    pretty.FriendlyEmpty = FriendlyEmptyFields;
    WriteDocument(pretty);
    pretty.Writer().Flush();
  }
  return out.TakeDataString();
}

void TQXConfigFile::SaveAs(const std::string& encoding, const std::string& fileName) {
  std::string full = MakeAbsoluteFileName(ExpandConfigString(fileName));
  // Quoted where needed, so that saving again under Path names this same
  // file and not whatever its characters would expand to.
  Path_ = QuoteConfigFileName(full);
  ForceFileDirectory(full);
  DoSave();
  try {
    std::string bytes = SaveToString(encoding);
    if (!BrokenFile_.empty() && BrokenFile_ == full && FileExists(full)) KeepBackupCopy(full);
    ReplaceFileContents(full, bytes);
    if (BrokenFile_ == full) BrokenFile_.clear();
  } catch (...) {
    // The settings did not reach the disk: they are still unsaved.
    Root_->SetModified(true);
    throw;
  }
  Root_->SetModified(false);
}

// ---------------------------------------------------------------------------
// Loading

void TQXConfigFile::Load() {
  if (Path_.empty()) throw Exception("No file specified");
  LoadFromFile(Path_);
}

void TQXConfigFile::ParseStream(std::unique_ptr<TStream> stream, const std::string& fileName) {
  TQXMLParser parser;
  parser.Events = Events;
  parser.Parse(WithoutByteOrderMark(std::move(stream)), Utf8ToWide(fileName));
  Root_->SetModified(false);
}

void TQXConfigFile::LoadFailed() {
  ResetRoot();
  Root_->SetModified(true);
}

void TQXConfigFile::LoadFromFile(const std::string& fileName) {
  std::string full;
  LoadProblem_.clear();
  try {
    full = MakeAbsoluteFileName(ExpandConfigString(fileName));
    ParseStream(std::make_unique<TFileStream>(full, TFileMode::OpenRead), full);
    Path_ = fileName;
    if (BrokenFile_ == full) BrokenFile_.clear();
  } catch (const std::exception& e) {
    LoadFailed();
    if (!full.empty() && FileExists(full)) {
      BrokenFile_ = full;
      ReportLoadProblem(full, e);
    }
    if (!Silent) throw;
  }
  DoLoad();
}

void TQXConfigFile::ReportLoadProblem(const std::string& fileName, const std::exception& error) {
  std::string where;
  if (auto xml = dynamic_cast<const EXMLParseError*>(&error)) {
    where = " at line " + std::to_string(xml->Line) + ", column " + std::to_string(xml->Column);
    // An error in an included file (a DTD, an external entity) names it.
    std::string in = WideToUtf8(xml->SystemId);
    if (!in.empty() && in != fileName) where += " of \"" + in + "\"";
  }
  LoadProblem_ = "The settings file \"" + fileName + "\" could not be loaded" + where + ": " + error.what() +
                 ". It is kept as \"" + fileName + ".bak\" and replaced by new settings when they are saved.";
  if (OnLoadProblem) OnLoadProblem(*this, LoadProblem_);
}

void TQXConfigFile::LoadFromString(const std::string& text) { LoadFromStream(std::make_unique<TStringStream>(text)); }

void TQXConfigFile::LoadFromStream(std::unique_ptr<TStream> stream) {
  LoadProblem_.clear();
  try {
    ParseStream(std::move(stream), std::string());
  } catch (...) {
    LoadFailed();
    if (!Silent) throw;
  }
  DoLoad();
}

void TQXConfigFile::DoLoad() {
  // A tree that failed to load stays modified, so that the next save writes
  // a file that loads.
  AfterLoad_.Notify();
  if (OnLoad) OnLoad(*this);
}

// ---------------------------------------------------------------------------
// Loader handlers

void TQXConfigFile::DoStartDocument() { ResetRoot(); }

void TQXConfigFile::DoComment(const std::u16string& text) {
  if (Info.empty()) Info = Trim(CommentFromFile(WideToUtf8(text)));
}

void TQXConfigFile::DoCharacters(TWStringBuf& text) {
  if (!CurrentKey_) return;
  if (PendingValue_)
    CurrentKey_->AppendValue(WideToUtf8(PendingValueName_), text.GetValue());
  else if (CurrentKey_->Count() == 0 && !CurrentKey_->ValueElementSeen)
    CurrentKey_->AppendValue(std::string(), text.GetValue());
}

void TQXConfigFile::AddAttributeValues(TQCKey& key, const TAttrList* attributes) {
  if (!attributes) return;
  for (int32_t i = 0; i < attributes->Count(); ++i) {
    const TAttribute& a = *attributes->Items(i);
    if (a.Name.QualifiedName != u"name") key.WriteValue(WideToUtf8(a.Name.QualifiedName), a.Value);
  }
}

void TQXConfigFile::DoStartElement(const TQName& name, const TAttrList* attributes) {
  const std::u16string& element = name.QualifiedName;
  std::u16string nameAttribute;
  if (attributes)
    for (int32_t i = 0; i < attributes->Count(); ++i)
      if (attributes->Items(i)->Name.QualifiedName == u"name") nameAttribute = attributes->Items(i)->Value;

  if (!CurrentKey_) {
    CurrentKey_ = Root_.get();
    Root_->Name = WideToUtf8(element == u"Key" ? nameAttribute : element);
    AddAttributeValues(*Root_, attributes);
    return;
  }

  if (!CurrentKey_->ValueElementSeen) CurrentKey_->DeleteValue(std::string());
  CurrentKey_->ChildElementSeen = true;

  if (element == u"value") {
    if (!nameAttribute.empty()) {
      std::u16string value;
      if (attributes)
        for (int32_t i = 0; i < attributes->Count(); ++i)
          if (attributes->Items(i)->Name.QualifiedName == u"value") value = attributes->Items(i)->Value;
      CurrentKey_->WriteValue(WideToUtf8(nameAttribute), value);
    } else {
      CurrentKey_->ValueElementSeen = true;
      CurrentKey_->DeleteValue(std::string());
      PendingValueName_.clear();
      PendingValue_ = true;
    }
    return;
  }

  CurrentKey_ = &CurrentKey_->CreateKey(WideToUtf8(element == u"Key" ? nameAttribute : element));
  AddAttributeValues(*CurrentKey_, attributes);
}

void TQXConfigFile::DoEndElement(const TQName& name) {
  if (name.QualifiedName == u"value") {
    PendingValue_ = false;
    return;
  }
  if (!CurrentKey_) return;
  if (!CurrentKey_->ValueElementSeen && CurrentKey_->ChildElementSeen) CurrentKey_->DeleteValue(std::string());
  CurrentKey_ = CurrentKey_->Parent();
}

// ---------------------------------------------------------------------------
// The program-wide instance

namespace {

std::unique_ptr<TQXConfigFile>& ProgramConfig() {
  static std::unique_ptr<TQXConfigFile> instance;
  return instance;
}

}  // namespace

void InitConfigFile(const std::string& overrideName, TQXConfigFile::TLoadProblemEvent onLoadProblem) {
  auto& instance = ProgramConfig();
  instance = std::make_unique<TQXConfigFile>();
  ConfigFile = instance.get();
  instance->Silent = true;
  if (!onLoadProblem)
    onLoadProblem = [](TQXConfigFile&, const std::string& message) { std::cerr << "tessel: " << message << '\n'; };
  instance->OnLoadProblem = std::move(onLoadProblem);
  instance->SetAutoLoad(true);
  instance->SetPath(QuoteConfigFileName(ChooseConfigFileName(overrideName)));
}

void DoneConfigFile() {
  auto& instance = ProgramConfig();
  if (!instance) return;
  struct Release {
    std::unique_ptr<TQXConfigFile>& Instance;
    ~Release() {
      ConfigFile = nullptr;
      Instance.reset();
    }
  } release{instance};
  if (instance->Modified()) instance->Save();
}

std::string ExpandConfigString(const std::string& s) {
  return ExpandConfigText(s, [](const std::string& keyPath) {
    return ConfigFile ? WideToUtf8(ConfigFile->Root().ReadString(keyPath + "@")) : std::string();
  });
}

}  // namespace tessel
