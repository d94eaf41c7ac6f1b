#include "QXConf.h"

#include <algorithm>

#include "CharRefWriter.h"
#include "ConfigLocation.h"
#include "ConfigString.h"
#include "SafeFile.h"
#include "util/Charsets.h"
#include "util/Exception.h"
#include "util/FileStream.h"
#include "util/MemoryStream.h"
#include "util/StringUtils.h"
#include "xml/Pretty.h"
#include "xml/QXMLParser.h"

namespace tessel {

TQXConfigFile* ConfigFile = nullptr;

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
  if (!info.empty()) writer.Comment(XmlCommentText(Utf8ToWide(info)));
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

void TQXConfigFile::ParseStream(std::unique_ptr<TStream> stream) {
  TQXMLParser parser;
  parser.Events = Events;
  parser.Parse(std::move(stream));
  Root_->SetModified(false);
}

void TQXConfigFile::LoadFailed() {
  ResetRoot();
  Root_->SetModified(true);
}

void TQXConfigFile::LoadFromFile(const std::string& fileName) {
  std::string full;
  try {
    full = MakeAbsoluteFileName(ExpandConfigString(fileName));
    ParseStream(std::make_unique<TFileStream>(full, TFileMode::OpenRead));
    Path_ = fileName;
    if (BrokenFile_ == full) BrokenFile_.clear();
  } catch (...) {
    LoadFailed();
    if (!full.empty() && FileExists(full)) BrokenFile_ = full;
    if (!Silent) throw;
  }
  DoLoad();
}

void TQXConfigFile::LoadFromString(const std::string& text) {
  LoadFromStream(std::make_unique<TStringStream>(text));
}

void TQXConfigFile::LoadFromStream(std::unique_ptr<TStream> stream) {
  try {
    ParseStream(std::move(stream));
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
  if (Info.empty()) Info = Trim(WideToUtf8(text));
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

void InitConfigFile(const std::string& overrideName) {
  auto& instance = ProgramConfig();
  instance = std::make_unique<TQXConfigFile>();
  ConfigFile = instance.get();
  instance->Silent = true;
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
