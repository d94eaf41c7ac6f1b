// The configuration file component: files and names, notifications, the
// program-wide instance, and saving that never loses the old file.
#include "config/QXConf.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "util/charsets/Charsets.h"
#include "util/streams/FileStream.h"
#include "util/system/WinError.h"

using namespace tessel;
using tessel::test::ErrorOf;
namespace fs = std::filesystem;

namespace {

const std::string kGood = "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key>\r\n  <a>1</a>\r\n</Key>";
const std::string kEmpty = "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key/>";
const std::string kBroken = "<Key>\r\n  <a>1</a>\r\n  <b>typo</c>\r\n</Key>";

class ConfigFileTest : public ::testing::Test {
protected:
  std::string File(const std::string& name) const { return (Dir / name).string(); }
  // Writes the file and returns its name.
  static std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
    return name;
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  test::TTempDir Temp{"tessel-config"};
  fs::path Dir = Temp.Path();
};

}  // namespace

TEST_F(ConfigFileTest, save_creates_folders_and_load_reads_back) {
  TQXConfigFile config;
  EXPECT_EQ(ErrorOf([&] { config.Save(); }), "Exception:No file specified");
  EXPECT_EQ(ErrorOf([&] { config.Load(); }), "Exception:No file specified");
  std::string name = File("deep/er/s.ini.xml");
  config.SaveToFile(name);
  EXPECT_EQ(ReadFileBytes(name), kEmpty);
  config.WriteBool("View/AsPanels", "", true);
  config.Save();
  EXPECT_FALSE(config.Modified());
  TQXConfigFile other;
  other.LoadFromFile(name);
  EXPECT_TRUE(other.ReadBool("View/AsPanels", ""));
  EXPECT_FALSE(other.Modified());
}

TEST_F(ConfigFileTest, failed_loads_leave_empty_modified_tree) {
  std::vector<std::string> log;
  TQXConfigFile loud;
  loud.Silent = false;
  loud.OnLoad = [&](TQXConfigFile&) { log.push_back("loud"); };
  loud.WriteString("x", u"1");
  EXPECT_THROW(loud.LoadFromFile(File("missing.ini.xml")), EWinException);
  Write(File("broken.ini.xml"), kBroken);
  EXPECT_EQ(ErrorOf([&] { loud.LoadFromFile(File("broken.ini.xml")); }),
            "Exception:WFC \"Element Type Match\" violated");
  EXPECT_EQ(loud.Root().Count(), 0);
  EXPECT_TRUE(loud.Modified());  // so the next save writes a file that loads
  EXPECT_EQ(loud.Path(), "");

  TQXConfigFile silent;
  silent.AfterLoad().Subscribe([&](TNotificationList&) { log.push_back("after-load"); });
  silent.OnLoad = [&](TQXConfigFile& sender) { log.push_back(&sender == &silent ? "on-load" : "?"); };
  silent.LoadFromFile(File("missing.ini.xml"));
  EXPECT_TRUE(silent.Modified());
  EXPECT_EQ(log, (std::vector<std::string>{"after-load", "on-load"}));
}

TEST_F(ConfigFileTest, names_expand_and_become_absolute) {
  TQXConfigFile program;
  program.WriteString("Options/DumpDirectory", Utf8ToWide(Dir.string()));
  TQXConfigFile* saved = ConfigFile;
  ConfigFile = &program;
  ::setenv("TESSEL_TEST_DIR", Dir.c_str(), 1);
  TQXConfigFile config;
  config.SaveToFile("${Options/DumpDirectory}/key.ini.xml");
  EXPECT_EQ(config.Path(), File("key.ini.xml"));
  config.SaveToFile("%{TESSEL_TEST_DIR}/env$$\"{}}}.ini.xml");
  config.WriteString("again", u"1");
  config.Save();  // Path names the file just written, odd characters and all
  EXPECT_EQ(Entries(), (std::vector<std::string>{"env$}.ini.xml", "key.ini.xml"}));
  EXPECT_EQ(ErrorOf([&] { config.SaveToFile("${unclosed"); }), "Exception:${unclosed:\"}\" expected");
  ConfigFile = saved;

  fs::path old = fs::current_path();
  fs::current_path(Dir);
  config.SaveToFile("rel.ini.xml");
  EXPECT_EQ(config.Path(), File("rel.ini.xml"));
  TQXConfigFile reader;
  reader.LoadFromFile("rel.ini.xml");
  EXPECT_EQ(reader.Path(), "rel.ini.xml");
  EXPECT_EQ(reader.ReadString("again"), u"1");
  fs::current_path(old);
}

TEST_F(ConfigFileTest, auto_load_and_notifications) {
  std::string name = Write(File("auto.ini.xml"), kGood);
  TQXConfigFile config;
  config.SetPath(name);
  EXPECT_EQ(config.Root().Count(), 0);
  config.SetAutoLoad(true);  // loads the path set before
  EXPECT_EQ(config.ReadString("a"), u"1");

  std::vector<std::string> log;
  int32_t token = config.BeforeSave().Subscribe([&](TNotificationList& sender) {
    log.push_back(&sender == &config.BeforeSave() ? "before-save" : "?");
    config.WriteString("by/subscriber", u"x");
  });
  config.OnSave = [&](TQXConfigFile&) { log.push_back("on-save"); };
  config.OnModified = [&](TQXConfigFile&) { log.push_back("modified"); };
  config.Save();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front() + " " + log[1] + " " + log.back(), "before-save modified on-save");
  EXPECT_FALSE(config.Modified());
  config.BeforeSave().Unsubscribe(token);
  config.SetPath(name);  // loads again
  EXPECT_EQ(config.ReadString("by/subscriber"), u"x");
  EXPECT_FALSE(config.Modified());
}

// --- Saving never destroys the old file ----------------------------------

TEST_F(ConfigFileTest, full_disk_keeps_old_file_and_reports) {
  std::string name = Write(File("full.ini.xml"), kGood);
  TQXConfigFile config;
  config.LoadFromFile(name);
  for (int i = 0; i < 200; ++i) config.WriteString("key" + std::to_string(i), u"a value long enough to fill");
  rlimit old;
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1024;  // writes beyond 1 KiB fail as on a full disk
  auto handler = ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  std::string message = ErrorOf([&] { config.Save(); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, handler);
  EXPECT_EQ(message.rfind("Exception:Cannot write file \"" + name + "\".", 0), 0u) << message;
  EXPECT_EQ(ReadFileBytes(name), kGood);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"full.ini.xml"}));  // no temporary file left
  EXPECT_TRUE(config.Modified());                                    // still unsaved
  config.Save();
  EXPECT_NE(ReadFileBytes(name).find("<key199>"), std::string::npos);
}

TEST_F(ConfigFileTest, places_that_cannot_take_the_file) {
  Write(File("plainfile"), "x");
  fs::create_directories(Dir / "taken.ini.xml" / "inside");
  TQXConfigFile config;
  EXPECT_THROW(config.SaveToFile(File("plainfile/sub/s.ini.xml")), EWinException);
  EXPECT_THROW(config.SaveToFile("/proc/self/tessel.ini.xml"), EWinException);
  EXPECT_THROW(config.SaveToFile(File("taken.ini.xml")), EWinException);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"plainfile", "taken.ini.xml"}));
}

TEST_F(ConfigFileTest, link_and_permissions_survive_saving) {
  std::string real = File("real.ini.xml"), link = File("link.ini.xml");
  Write(real, kGood);
  ::chmod(real.c_str(), 0640);
  fs::create_symlink(real, link);
  TQXConfigFile config;
  config.LoadFromFile(link);
  config.WriteString("b", u"2");
  config.Save();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_NE(ReadFileBytes(real).find("<b>2</b>"), std::string::npos);
}

TEST_F(ConfigFileTest, broken_file_kept_as_bak_before_first_save) {
  std::string name = Write(File("hand.ini.xml"), kBroken);
  Write(name + ".bak", "older backup");
  fs::create_directories(Dir / "block");
  TQXConfigFile config;
  config.LoadFromFile(name);
  config.WriteString("new", u"1");
  config.SaveToFile(name);
  EXPECT_EQ(ReadFileBytes(name + ".bak"), kBroken);
  config.WriteString("new", u"2");
  config.SaveToFile(name);  // the program's own file replaces nothing of value
  EXPECT_EQ(ReadFileBytes(name + ".bak"), kBroken);

  // A backup that cannot be made stops the save.
  std::string other = Write(File("block/x.ini.xml"), kBroken);
  fs::create_directories(other + ".bak/in");
  config.LoadFromFile(other);
  EXPECT_THROW(config.SaveToFile(other), EWinException);
  EXPECT_EQ(ReadFileBytes(other), kBroken);

  // Missing files and files that loaded get no backup, nor does one fixed
  // by hand after a failed load.
  Write(other, kGood);
  config.LoadFromFile(other);
  config.SaveToFile(other);
  config.LoadFromFile(File("fresh.ini.xml"));
  config.SaveToFile(File("fresh.ini.xml"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"block", "fresh.ini.xml", "hand.ini.xml", "hand.ini.xml.bak"}));
}

// --- Files as users leave them ----------------------------------------------

TEST_F(ConfigFileTest, relative_dtd_is_found_beside_the_file) {
  fs::create_directories(Dir / "conf");
  Write(File("conf/keys.dtd"), "<!ENTITY who 'Alice'>");
  std::string name = Write(File("conf/dtd.ini.xml"),
                           "<?xml version=\"1.0\"?>\n<!DOCTYPE Key SYSTEM \"keys.dtd\">\n<Key><a>&who;</a></Key>");
  fs::path old = fs::current_path();
  fs::current_path(Dir);  // not the file's folder
  TQXConfigFile config;
  config.Silent = false;
  config.LoadFromFile(name);
  fs::current_path(old);
  EXPECT_EQ(config.ReadString("a"), u"Alice");
  EXPECT_EQ(config.LoadProblem(), "");
  // A fault in the DTD is placed in the DTD.
  Write(File("conf/keys.dtd"), "<!ENTITY who 'Alice'>\n<!ENTITY>");
  config.Silent = true;
  config.LoadFromFile(name);
  EXPECT_NE(config.LoadProblem().find(" at line 2, column 9 of \"" + File("conf/keys.dtd") + "\": "), std::string::npos)
      << config.LoadProblem();
}

TEST_F(ConfigFileTest, byte_order_mark_is_accepted) {
  const std::string bom = "\xEF\xBB\xBF";
  Write(File("bom.ini.xml"), bom + kGood);
  Write(File("bom-only.ini.xml"), bom);
  TQXConfigFile config;
  config.Silent = false;
  config.LoadFromFile(File("bom.ini.xml"));
  EXPECT_EQ(config.ReadString("a"), u"1");
  config.LoadFromString(bom + "<Key><b>2</b></Key>");
  EXPECT_EQ(config.ReadString("b"), u"2");
  EXPECT_THROW(config.LoadFromFile(File("bom-only.ini.xml")), Exception);  // nothing after it
  EXPECT_THROW(config.LoadFromString(bom + bom + "<Key/>"), Exception);    // only one is skipped
}

TEST_F(ConfigFileTest, broken_file_is_told_once_with_its_backup_name) {
  std::string name = Write(File("told.ini.xml"), kBroken);
  std::vector<std::string> told;
  TQXConfigFile config;
  config.OnLoadProblem = [&](TQXConfigFile& sender, const std::string& message) {
    EXPECT_EQ(&sender, &config);
    told.push_back(message);
  };
  config.LoadFromFile(name);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], config.LoadProblem());
  EXPECT_EQ(told[0], "The settings file \"" + name +
                         "\" could not be loaded at line 3, column 13: WFC \"Element Type "
                         "Match\" violated. It is kept as \"" +
                         name + ".bak\" and replaced by new settings when they are saved.");
  config.LoadFromFile(File("missing.ini.xml"));  // a first start: nothing to tell
  config.LoadFromString(kBroken);                // no file: nothing to keep
  Write(name, kGood);
  config.LoadFromFile(name);
  EXPECT_EQ(told.size(), 1u);
  EXPECT_EQ(config.LoadProblem(), "");

  // The program-wide instance tells the hook it is given.
  Write(name, kBroken);
  told.clear();
  InitConfigFile(name, [&](TQXConfigFile&, const std::string& message) { told.push_back(message); });
  EXPECT_EQ(told.size(), 1u);
  DoneConfigFile();
  EXPECT_EQ(ReadFileBytes(name + ".bak"), kBroken);
  EXPECT_EQ(told.size(), 1u);
}

TEST_F(ConfigFileTest, read_only_file_is_not_replaced) {
  std::string name = File("locked.ini.xml"), link = File("locked-link.ini.xml");
  Write(name, kGood);
  ::chmod(name.c_str(), 0444);
  fs::create_symlink(name, link);
  for (const std::string& through : {name, link}) {
    TQXConfigFile config;
    config.LoadFromFile(through);
    config.WriteString("b", u"2");
    std::string message = ErrorOf([&] { config.Save(); });
    EXPECT_EQ(message, "Exception:Cannot write file \"" + name +
                           "\". The file is read-only (mode 0444), so it is not replaced.");
    EXPECT_TRUE(config.Modified());
  }
  EXPECT_EQ(ReadFileBytes(name), kGood);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"locked-link.ini.xml", "locked.ini.xml"}));
  ::chmod(name.c_str(), 0644);
}

// --- The program-wide instance --------------------------------------------

TEST_F(ConfigFileTest, program_instance_saves_at_end_only_when_modified) {
  std::string name = File("odd}${x}.ini.xml");  // taken literally
  InitConfigFile(name);
  ASSERT_NE(ConfigFile, nullptr);
  EXPECT_TRUE(ConfigFile->Modified());  // first start: nothing there yet
  ConfigFile->WriteString("Options/CreateTempFiles", u"Yes");
  DoneConfigFile();
  EXPECT_EQ(ConfigFile, nullptr);

  InitConfigFile(name);
  EXPECT_EQ(ConfigFile->ReadString("Options/CreateTempFiles"), u"Yes");
  fs::remove(name);
  DoneConfigFile();
  EXPECT_FALSE(fs::exists(name));  // unchanged: not written

  Write(File("blocked"), "a file where the folder should be");
  InitConfigFile(File("blocked/p.ini.xml"));
  EXPECT_THROW(DoneConfigFile(), EWinException);
  EXPECT_EQ(ConfigFile, nullptr);  // freed all the same
}
