// The configuration file: a key tree (ConfigKey.h) kept in an XML file.
//
// TQXConfigFile loads its file with the toolkit's XML parser, acting as the
// parser's event handler, and saves it through the pretty-printing writer in
// the charset named by Encoding. The program uses one instance, ConfigFile,
// created at start (InitConfigFile) and saved and freed at the end
// (DoneConfigFile). File names pass through ExpandConfigString, so a name may
// refer to a configuration key ("${Options/DumpDirectory}/x.ini.xml") or an
// environment variable ("%{HOME}/x.ini.xml").
//
// The file format, in short (the root has the children View and window):
//
//   <?xml version="1.0" encoding="iso-8859-2"?>
//   <Key>
//     <View>
//       <AsPanels>1</AsPanels>
//     </View>
//     <window>
//       <placement H="480"
//                  W="696"/>
//     </window>
//   </Key>
//
// Saving never leaves a half-written file: the document goes to a new file
// that replaces the old one only once it is complete on the disk. A file
// that exists but does not load is copied to "<name>.bak" before the first
// save replaces it, so one typo in a hand-edited file costs nothing.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/ConfigKey.h"
#include "xml/SaxClient.h"

namespace tessel {

class TStream;
class TSaxWriter;

// Subscribers of one notification; each is called with the list as Sender.
class TNotificationList {
public:
  using THandler = std::function<void(TNotificationList& Sender)>;

  TNotificationList() = default;
  TNotificationList(const TNotificationList&) = delete;
  TNotificationList& operator=(const TNotificationList&) = delete;

  // Returns a token for Unsubscribe.
  int32_t Subscribe(THandler handler);
  void Unsubscribe(int32_t token);
  int32_t Count() const { return static_cast<int32_t>(Handlers_.size()); }
  // Calls every subscriber in the order they subscribed.
  void Notify();

private:
  std::vector<std::pair<int32_t, THandler>> Handlers_;
  int32_t NextToken_ = 1;
};

class TQXConfigFile {
public:
  using TNotifyEvent = std::function<void(TQXConfigFile& Sender)>;

  TQXConfigFile();
  // Saves when AutoSave is set, Path is not empty and the tree is modified.
  // A destructor cannot report a failure, so that save is best effort; call
  // Save yourself where an error must reach the user.
  virtual ~TQXConfigFile();
  TQXConfigFile(const TQXConfigFile&) = delete;
  TQXConfigFile& operator=(const TQXConfigFile&) = delete;

  // The tree. A load replaces it whole: keys taken before are invalid after.
  TQCKey& Root() { return *Root_; }
  bool Modified() const { return Root_->Modified(); }

  // OpenKey of path on Root (creating keys).
  TQCKey& OpenKey(const std::string& path);
  // The unnamed value of the key at path ('' when missing; creates nothing).
  std::u16string ReadString(const std::string& path);
  // Sets the unnamed value of the key at path, creating keys.
  void WriteString(const std::string& path, const std::u16string& value);
  // A boolean value of the key at path; an empty name means the unnamed value.
  bool ReadBool(const std::string& path, const std::string& name);
  void WriteBool(const std::string& path, const std::string& name, bool value);

  // Save raises "No file specified" when Path is empty.
  virtual void Save();
  virtual void SaveToFile(const std::string& fileName);
  // Expands fileName and makes it absolute, stores it in Path, creates the
  // missing folders and writes the document in the charset encoding names
  // (an unknown name gives the default charset, and the declaration names the
  // one used). Errors reach the caller; the old file then stays as it was and
  // the tree stays modified.
  virtual void SaveAs(const std::string& encoding, const std::string& fileName);

  // Load raises "No file specified" when Path is empty.
  virtual void Load();
  // Reads the file; on success Path becomes fileName as given. A file that
  // is missing or does not load leaves an empty, modified tree; the error
  // reaches the caller unless Silent is set. A file that exists but does not
  // load is also reported once through LoadProblem and OnLoadProblem, with
  // the name of the backup the next save keeps of it. A UTF-8 byte-order
  // mark before the declaration is skipped.
  virtual void LoadFromFile(const std::string& fileName);
  virtual void LoadFromString(const std::string& text);
  // Parses the whole stream from its start; the stream is freed after.
  virtual void LoadFromStream(std::unique_ptr<TStream> stream);

  // Sends the whole document (declaration, Info comment, tree) to writer.
  void WriteDocument(TSaxWriter& writer);
  // The bytes SaveAs would write, without touching any file or flag.
  std::string SaveToString(const std::string& encoding);

  const std::string& Path() const { return Path_; }
  // Stores the name; with AutoLoad set, a non-empty name is loaded at once.
  void SetPath(const std::string& path);
  bool AutoLoad() const { return AutoLoad_; }
  // Turning AutoLoad on loads Path when it is set.
  void SetAutoLoad(bool value);

  bool AutoSave = false;
  // The text of the comment before the root element; a load fills it from
  // the file's first comment when it is empty.
  std::string Info;
  std::string Encoding = "iso-8859-2";
  bool FriendlyEmptyFields = false;
  bool Silent = true;

  TNotificationList& BeforeSave() { return BeforeSave_; }
  TNotificationList& AfterLoad() { return AfterLoad_; }
  TNotifyEvent OnSave;      // after BeforeSave
  TNotifyEvent OnLoad;      // after AfterLoad
  TNotifyEvent OnModified;  // every change that reaches the root, loads included

  // Why the last load of an existing file failed, and what happens to the
  // file ('' when it loaded or did not exist). The hook is called with the
  // same text, once per failed load.
  using TLoadProblemEvent = std::function<void(TQXConfigFile& Sender, const std::string& message)>;
  const std::string& LoadProblem() const { return LoadProblem_; }
  TLoadProblemEvent OnLoadProblem;

protected:
  // Loader handlers, bound into Events by the constructor.
  virtual void DoStartDocument();
  virtual void DoComment(const std::u16string& text);
  virtual void DoCharacters(TWStringBuf& text);
  virtual void DoStartElement(const TQName& name, const TAttrList* attributes);
  virtual void DoEndElement(const TQName& name);

  // The events each parser of this component gets a copy of.
  TSaxEvents Events;

private:
  void ResetRoot();
  void DoSave();
  void DoLoad();
  // Runs a parser with this component's events over the stream; raises
  // what the parser raises.
  // fileName ('' for none) is the system identifier that relative ones in
  // the document are resolved against.
  void ParseStream(std::unique_ptr<TStream> stream, const std::string& fileName);
  void ReportLoadProblem(const std::string& fileName, const std::exception& error);
  // An empty tree marked modified, so that the next save writes a file that loads.
  void LoadFailed();
  void AddAttributeValues(TQCKey& key, const TAttrList* attributes);

  std::unique_ptr<TQCKey> Root_;
  TQCKey* CurrentKey_ = nullptr;
  std::u16string PendingValueName_;
  bool PendingValue_ = false;

  std::string Path_;
  bool AutoLoad_ = false;
  // The absolute name of a file that exists but failed to load; it is kept
  // as "<name>.bak" before a save replaces it.
  std::string BrokenFile_;
  std::string LoadProblem_;

  TNotificationList BeforeSave_;
  TNotificationList AfterLoad_;
};

// The program-wide configuration; nullptr before InitConfigFile and after
// DoneConfigFile.
extern TQXConfigFile* ConfigFile;

// Creates ConfigFile (Silent, AutoLoad) for the file ChooseConfigFileName
// picks with overrideName (the "--config FILE" option; '' for none) and loads
// it. A missing or broken file leaves an empty tree; a broken one is told to
// onLoadProblem (the viewer's message box), by default on standard error.
void InitConfigFile(const std::string& overrideName = std::string(),
                    TQXConfigFile::TLoadProblemEvent onLoadProblem = nullptr);
// Saves ConfigFile when modified, then frees it (also when the save raises,
// which then passes the error on).
void DoneConfigFile();

// Expands the "$", "%" and verbatim expressions of a file name, reading keys
// from ConfigFile (none when there is no ConfigFile). Returns a byte string:
// file names are bytes here.
std::string ExpandConfigString(const std::string& s);

}  // namespace tessel
