// The configuration file component: files, names, notifications, the
// program-wide instance, and saving that never loses the old file.
#include "config/QXConf.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/ConfigLocation.h"
#include "util/Exception.h"
#include "util/FileStream.h"
#include "util/MemoryStream.h"
#include "util/Charsets.h"
#include "util/WinError.h"

using namespace tessel;
namespace fs = std::filesystem;

namespace {

class ConfigFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::temp_directory_path() / ("tessel-config-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(Dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Dir, ec);
  }
  std::string File(const std::string& name) const { return (Dir / name).string(); }
  static void Write(const std::string& name, const std::string& bytes) {
    TFileStream f(name, TFileMode::Create);
    f.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path Dir;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

const std::string kGood = "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key>\r\n  <a>1</a>\r\n</Key>";
const std::string kBroken = "<Key>\r\n  <a>1</a>\r\n  <b>typo</c>\r\n</Key>";

// Lowers the file size limit for the life of the object, so that writes
// beyond it fail as on a full disk.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &Old_);
    OldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lower = Old_;
    lower.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &Old_);
    ::signal(SIGXFSZ, OldHandler_);
  }

private:
  rlimit Old_;
  sighandler_t OldHandler_;
};

}  // namespace

TEST_F(ConfigFileTest, fresh_component_saves_declaration_and_empty_key_creating_folders) {
  TQXConfigFile config;
  std::string name = File("deep/er/settings.ini.xml");
  config.SaveToFile(name);
  EXPECT_EQ(ReadFileBytes(name), "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key/>");
  EXPECT_EQ(config.Path(), name);
  EXPECT_EQ(fs::directory_iterator(Dir / "deep/er")->path().filename(), "settings.ini.xml");
}

TEST_F(ConfigFileTest, defaults) {
  TQXConfigFile config;
  EXPECT_TRUE(config.Silent);
  EXPECT_FALSE(config.AutoLoad());
  EXPECT_FALSE(config.AutoSave);
  EXPECT_EQ(config.Encoding, "iso-8859-2");
  EXPECT_FALSE(config.FriendlyEmptyFields);
  EXPECT_FALSE(config.Modified());
  EXPECT_EQ(config.Root().Name, "");
}

TEST_F(ConfigFileTest, missing_file_loud_and_silent) {
  std::string name = File("missing.ini.xml");
  TQXConfigFile loud;
  loud.Silent = false;
  loud.WriteString("x", u"1");
  bool loaded = false;
  loud.OnLoad = [&](TQXConfigFile&) { loaded = true; };
  EXPECT_THROW(loud.LoadFromFile(name), EWinException);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(loud.Root().Count(), 0);
  EXPECT_TRUE(loud.Modified());
  EXPECT_EQ(loud.Path(), "");

  TQXConfigFile silent;
  silent.OnLoad = [&](TQXConfigFile& sender) { loaded = &sender == &silent; };
  EXPECT_NO_THROW(silent.LoadFromFile(name));
  EXPECT_TRUE(loaded);
  EXPECT_TRUE(silent.Modified());
  EXPECT_TRUE(Entries().empty());
}

TEST_F(ConfigFileTest, parse_error_reaches_caller_with_parser_message) {
  std::string name = File("broken.ini.xml");
  Write(name, kBroken);
  TQXConfigFile config;
  config.Silent = false;
  EXPECT_EQ(ErrorOf([&] { config.LoadFromFile(name); }), "WFC \"Element Type Match\" violated");
  EXPECT_EQ(config.Root().Count(), 0);
  EXPECT_TRUE(config.Modified());
}

TEST_F(ConfigFileTest, no_file_specified) {
  TQXConfigFile config;
  EXPECT_EQ(ErrorOf([&] { config.Save(); }), "No file specified");
  EXPECT_EQ(ErrorOf([&] { config.Load(); }), "No file specified");
}

TEST_F(ConfigFileTest, save_and_load_round_trip_clears_modified) {
  std::string name = File("s.ini.xml");
  TQXConfigFile config;
  config.WriteString("Options/DumpDirectory", u"/tmp/dump");
  config.WriteBool("View/AsPanels", "", true);
  EXPECT_TRUE(config.Modified());
  config.SaveToFile(name);
  EXPECT_FALSE(config.Modified());

  TQXConfigFile other;
  other.LoadFromFile(name);
  EXPECT_FALSE(other.Modified());
  EXPECT_EQ(other.Path(), name);
  EXPECT_EQ(other.ReadString("Options/DumpDirectory"), u"/tmp/dump");
  EXPECT_TRUE(other.ReadBool("View/AsPanels", ""));
  EXPECT_FALSE(other.ReadBool("View/Missing", ""));
}

TEST_F(ConfigFileTest, relative_names_and_path_after_save_and_load) {
  fs::path old = fs::current_path();
  fs::current_path(Dir);
  TQXConfigFile config;
  config.SaveToFile("rel.ini.xml");
  EXPECT_EQ(config.Path(), File("rel.ini.xml"));
  TQXConfigFile reader;
  reader.LoadFromFile("rel.ini.xml");
  EXPECT_EQ(reader.Path(), "rel.ini.xml");
  fs::current_path(old);
}

TEST_F(ConfigFileTest, file_names_expand_config_keys_and_environment) {
  TQXConfigFile program;
  program.WriteString("Options/DumpDirectory", Utf8ToWide(Dir.string()));
  TQXConfigFile* saved = ConfigFile;
  ConfigFile = &program;
  ::setenv("TESSEL_TEST_DIR", Dir.c_str(), 1);

  TQXConfigFile config;
  config.SaveToFile("${Options/DumpDirectory}/from-key.ini.xml");
  EXPECT_EQ(config.Path(), File("from-key.ini.xml"));
  config.SaveToFile("%{TESSEL_TEST_DIR}/from-env$$.ini.xml");
  EXPECT_TRUE(fs::exists(Dir / "from-env$.ini.xml"));
  // Path names the file it was saved to, and saving again writes that file.
  config.WriteString("again", u"1");
  config.Save();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"from-env$.ini.xml", "from-key.ini.xml"}));
  TQXConfigFile check;
  check.LoadFromFile(config.Path());
  EXPECT_EQ(check.ReadString("again"), u"1");

  EXPECT_EQ(ErrorOf([&] { config.SaveToFile("${unclosed"); }), "${unclosed:\"}\" expected");
  config.Silent = false;
  EXPECT_EQ(ErrorOf([&] { config.LoadFromFile("name\""); }), "name\":Unexpected EOS");

  ConfigFile = saved;
  ::unsetenv("TESSEL_TEST_DIR");
}

TEST_F(ConfigFileTest, auto_load_loads_when_path_is_set_or_flag_turns_on) {
  std::string name = File("auto.ini.xml");
  Write(name, kGood);
  TQXConfigFile config;
  config.SetPath(name);
  EXPECT_EQ(config.Root().Count(), 0);
  config.SetAutoLoad(true);
  EXPECT_EQ(config.ReadString("a"), u"1");

  TQXConfigFile second;
  second.SetAutoLoad(true);
  EXPECT_EQ(second.Root().Count(), 0);
  second.SetPath(name);
  EXPECT_EQ(second.ReadString("a"), u"1");
}

TEST_F(ConfigFileTest, notifications_in_order) {
  std::string name = File("n.ini.xml");
  TQXConfigFile config;
  std::vector<std::string> log;
  int32_t token = config.BeforeSave().Subscribe([&](TNotificationList& sender) {
    log.push_back(&sender == &config.BeforeSave() ? "before-save" : "wrong sender");
    config.WriteString("written/by/subscriber", u"x");  // still saved
  });
  config.BeforeSave().Subscribe([&](TNotificationList&) { log.push_back("before-save 2"); });
  config.OnSave = [&](TQXConfigFile&) { log.push_back("on-save"); };
  config.AfterLoad().Subscribe([&](TNotificationList&) { log.push_back("after-load"); });
  config.OnLoad = [&](TQXConfigFile&) { log.push_back("on-load"); };
  config.SaveToFile(name);
  EXPECT_FALSE(config.Modified());
  config.LoadFromFile(name);
  EXPECT_EQ(log, (std::vector<std::string>{"before-save", "before-save 2", "on-save", "after-load", "on-load"}));
  EXPECT_EQ(config.ReadString("written/by/subscriber"), u"x");

  config.BeforeSave().Unsubscribe(token);
  EXPECT_EQ(config.BeforeSave().Count(), 1);
}

TEST_F(ConfigFileTest, on_modified_fires_for_changes_and_while_loading) {
  TQXConfigFile config;
  int fired = 0;
  config.OnModified = [&](TQXConfigFile&) { ++fired; };
  config.WriteString("a/b", u"1");
  EXPECT_GT(fired, 0);
  fired = 0;
  config.LoadFromString(kGood);
  EXPECT_GT(fired, 0);
  EXPECT_FALSE(config.Modified());
  fired = 0;
  config.Root().FindKey("a")->WriteValue("x", u"2");
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(config.Modified());
}

TEST_F(ConfigFileTest, string_and_stream_loads_leave_path_alone) {
  TQXConfigFile config;
  config.LoadFromString(kGood);
  EXPECT_EQ(config.Path(), "");
  config.LoadFromStream(std::make_unique<TStringStream>("<Key><s>2</s></Key>"));
  EXPECT_EQ(config.ReadString("s"), u"2");
  EXPECT_EQ(config.Path(), "");
  config.Silent = false;
  EXPECT_THROW(config.LoadFromString("<Key>"), Exception);
  EXPECT_EQ(config.Root().Count(), 0);
  EXPECT_TRUE(config.Modified());
}

TEST_F(ConfigFileTest, auto_save_in_destructor_only_when_modified) {
  std::string name = File("auto-save.ini.xml");
  {
    TQXConfigFile config;
    config.AutoSave = true;
    config.SaveToFile(name);
    fs::remove(name);
  }
  EXPECT_FALSE(fs::exists(name));
  {
    TQXConfigFile config;
    config.AutoSave = true;
    config.SaveToFile(name);
    config.WriteString("k", u"v");
  }
  TQXConfigFile check;
  check.LoadFromFile(name);
  EXPECT_EQ(check.ReadString("k"), u"v");
}

// --- Saving never destroys the old file ---------------------------------

TEST_F(ConfigFileTest, failed_write_keeps_old_file_and_reports) {
  std::string name = File("full.ini.xml");
  Write(name, kGood);
  TQXConfigFile config;
  config.LoadFromFile(name);
  for (int i = 0; i < 200; ++i) config.WriteString("key" + std::to_string(i), u"a value long enough to fill");
  std::string message;
  {
    TFileSizeLimit limit(1024);  // as if the disk were full after 1 KiB
    message = ErrorOf([&] { config.Save(); });
  }
  EXPECT_EQ(message.rfind("Cannot write file \"" + name + "\".", 0), 0u) << message;
  EXPECT_EQ(ReadFileBytes(name), kGood);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"full.ini.xml"}));  // no temporary file left
  EXPECT_TRUE(config.Modified());  // the settings are still unsaved

  config.Save();  // room again
  TQXConfigFile check;
  check.LoadFromFile(name);
  EXPECT_EQ(check.ReadString("key199"), u"a value long enough to fill");
}

TEST_F(ConfigFileTest, folder_that_cannot_be_made_or_written) {
  Write(File("plainfile"), "x");
  TQXConfigFile config;
  EXPECT_THROW(config.SaveToFile(File("plainfile/sub/s.ini.xml")), Exception);
  EXPECT_THROW(config.SaveToFile("/proc/self/tessel.ini.xml"), Exception);

  // A folder the user may not write to (root may write anywhere, so only
  // when the permission bits hold).
  std::string name = File("ro/s.ini.xml");
  config.SaveToFile(name);
  fs::permissions(Dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  bool enforced = ::access((Dir / "ro").c_str(), W_OK) != 0;
  config.WriteString("k", u"v");
  if (enforced) {
    EXPECT_THROW(config.Save(), EWinException);
    EXPECT_EQ(ReadFileBytes(name), "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key/>");
    EXPECT_TRUE(config.Modified());
  }
  fs::permissions(Dir / "ro", fs::perms::owner_all);
}

TEST_F(ConfigFileTest, rename_failure_keeps_everything) {
  // A folder standing where the file should go: the new file is complete but
  // cannot take the name.
  fs::create_directories(Dir / "taken.ini.xml" / "inside");
  TQXConfigFile config;
  EXPECT_THROW(config.SaveToFile(File("taken.ini.xml")), EWinException);
  EXPECT_TRUE(fs::is_directory(Dir / "taken.ini.xml" / "inside"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"taken.ini.xml"}));
}

TEST_F(ConfigFileTest, link_and_permissions_survive_saving) {
  std::string real = File("real.ini.xml");
  Write(real, kGood);
  ::chmod(real.c_str(), 0640);
  std::string link = File("link.ini.xml");
  fs::create_symlink(real, link);
  TQXConfigFile config;
  config.LoadFromFile(link);
  config.WriteString("b", u"2");
  config.Save();
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat st;
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  TQXConfigFile check;
  check.LoadFromFile(real);
  EXPECT_EQ(check.ReadString("b"), u"2");
}

TEST_F(ConfigFileTest, broken_file_is_kept_as_bak_before_first_save) {
  std::string name = File("hand.ini.xml");
  Write(name, kBroken);
  TQXConfigFile config;
  config.LoadFromFile(name);  // silent: an empty tree
  EXPECT_EQ(config.Root().Count(), 0);
  config.WriteString("new", u"1");
  config.SaveToFile(name);
  EXPECT_EQ(ReadFileBytes(name + ".bak"), kBroken);
  EXPECT_NE(ReadFileBytes(name).find("<new>1</new>"), std::string::npos);

  // Only the first save after the failure: the backup is not overwritten
  // with the program's own file.
  config.WriteString("new", u"2");
  config.SaveToFile(name);
  EXPECT_EQ(ReadFileBytes(name + ".bak"), kBroken);
}

TEST_F(ConfigFileTest, missing_or_good_files_get_no_backup) {
  std::string name = File("fine.ini.xml");
  TQXConfigFile config;
  config.LoadFromFile(name);  // missing
  config.SaveToFile(name);
  config.LoadFromFile(name);  // good
  config.WriteString("k", u"v");
  config.Save();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"fine.ini.xml"}));
}

TEST_F(ConfigFileTest, backup_failure_stops_the_save) {
  std::string name = File("hand.ini.xml");
  Write(name, kBroken);
  fs::create_directories(Dir / "hand.ini.xml.bak" / "x");  // the backup cannot take its name
  TQXConfigFile config;
  config.LoadFromFile(name);
  config.WriteString("k", u"v");
  EXPECT_THROW(config.SaveToFile(name), EWinException);
  EXPECT_EQ(ReadFileBytes(name), kBroken);
  EXPECT_TRUE(config.Modified());
}

TEST_F(ConfigFileTest, later_good_load_forgets_the_failure) {
  std::string name = File("hand.ini.xml");
  Write(name, kBroken);
  TQXConfigFile config;
  config.LoadFromFile(name);
  Write(name, kGood);  // fixed by hand meanwhile
  config.LoadFromFile(name);
  EXPECT_EQ(config.ReadString("a"), u"1");
  config.WriteString("k", u"v");
  config.Save();
  EXPECT_FALSE(fs::exists(name + ".bak"));
}

// --- The program-wide instance --------------------------------------------

TEST_F(ConfigFileTest, program_instance_loads_and_saves_only_when_modified) {
  std::string name = File("program.ini.xml");
  Write(name, kGood);
  InitConfigFile(name);
  ASSERT_NE(ConfigFile, nullptr);
  EXPECT_EQ(ConfigFile->ReadString("a"), u"1");
  EXPECT_TRUE(ConfigFile->AutoLoad());
  DoneConfigFile();
  EXPECT_EQ(ConfigFile, nullptr);
  EXPECT_EQ(ReadFileBytes(name), kGood);  // not rewritten

  InitConfigFile(name);
  ConfigFile->WriteString("Options/CreateTempFiles", u"Yes");
  DoneConfigFile();
  TQXConfigFile check;
  check.LoadFromFile(name);
  EXPECT_EQ(check.ReadString("Options/CreateTempFiles"), u"Yes");
  EXPECT_EQ(check.ReadString("a"), u"1");
}

TEST_F(ConfigFileTest, program_instance_first_start_writes_new_file) {
  std::string name = File("sub/first.ini.xml");
  InitConfigFile(name);
  EXPECT_TRUE(ConfigFile->Modified());  // nothing was there: written at the end
  DoneConfigFile();
  EXPECT_EQ(ReadFileBytes(name), "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key/>");
}

TEST_F(ConfigFileTest, program_instance_takes_odd_file_names_literally) {
  std::string name = File("odd}${x}%{HOME}.ini.xml");
  InitConfigFile(name);
  ConfigFile->WriteString("k", u"v");
  DoneConfigFile();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"odd}${x}%{HOME}.ini.xml"}));
}

TEST_F(ConfigFileTest, program_instance_save_error_still_frees) {
  std::string name = File("blocked/p.ini.xml");
  Write(File("blocked"), "a file where the folder should be");
  InitConfigFile(name);
  ConfigFile->WriteString("k", u"v");
  EXPECT_THROW(DoneConfigFile(), Exception);
  EXPECT_EQ(ConfigFile, nullptr);
}
