#include "config/ConfigString.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "config/ConfigLocation.h"
#include "util/Exception.h"

using namespace tessel;

namespace {

// Key values for "${...}": a fixed table, so each expectation shows its input.
std::string ReadKey(const std::string& path) {
  static const std::map<std::string, std::string> keys = {
      {"Options/DumpDirectory", "/dump"},
      {"a}b!", "brace"},
      {"d", "Options"},
      {"Options/Name", "x$y"},
  };
  auto it = keys.find(path);
  return it == keys.end() ? std::string() : it->second;
}

std::string Expand(const std::string& s) { return ExpandConfigText(s, ReadKey); }

std::string ErrorOf(const std::string& s) {
  try {
    Expand(s);
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(ConfigExpand, table_of_rules) {
  ::setenv("TESSEL_TEST_VAR", "/home/tester", 1);
  ::unsetenv("TESSEL_TEST_UNSET");
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain/name.xml", "plain/name.xml"},
      {"", ""},
      {"${Options/DumpDirectory}/x.ini.xml", "/dump/x.ini.xml"},
      {"${no/such/key}/x", "/x"},
      {"%{TESSEL_TEST_VAR}/.config", "/home/tester/.config"},
      {"%{TESSEL_TEST_UNSET}/a", "%TESSEL_TEST_UNSET%/a"},
      {"$$", "$"},
      {"%%", "%"},
      {"a$$b%%c", "a$b%c"},
      {"$x%y", "$x%y"},
      {"end$", "end$"},
      {"end%", "end%"},
      {"$%{TESSEL_TEST_VAR}", "$/home/tester"},
      // Nested: the inner expression names the key path of the outer one.
      {"${${d}/DumpDirectory}", "/dump"},
      // A value is not expanded again.
      {"${Options/Name}", "x$y"},
      // Verbatim blocks.
      {"\"{${not}}%{expanded}}}", "${not}%{expanded}"},
      {"\"{${cut}", "${cut"},
      {"\"{a}}b}", "a}b"},
      {"${\"{a}}b}!}", "brace"},
      {"\"x", "\"x"},
      {"\"$$", "\"$$"},
      {"\"}rest", "\"}rest"},
      // A stray closing brace ends the text.
      {"keep}dropped${x}", "keep"},
      {"}", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.in), c.out) << c.in;
}

TEST(ConfigExpand, error_messages_carry_the_whole_text) {
  EXPECT_EQ(ErrorOf("a${Options/DumpDirectory"), "a${Options/DumpDirectory:\"}\" expected");
  EXPECT_EQ(ErrorOf("${"), "${:\"}\" expected");
  EXPECT_EQ(ErrorOf("%{${d}"), "%{${d}:\"}\" expected");
  EXPECT_EQ(ErrorOf("x\"{verbatim"), "x\"{verbatim:\"}\" expected");
  EXPECT_EQ(ErrorOf("x\"{a}}"), "x\"{a}}:\"}\" expected");
  EXPECT_EQ(ErrorOf("name\""), "name\":Unexpected EOS");
}

TEST(ConfigExpand, long_environment_values_are_not_cut) {
  std::string longValue(5000, 'v');
  ::setenv("TESSEL_TEST_LONG", longValue.c_str(), 1);
  EXPECT_EQ(Expand("%{TESSEL_TEST_LONG}/f"), longValue + "/f");
  ::unsetenv("TESSEL_TEST_LONG");
}

TEST(ConfigExpand, without_key_reader_keys_expand_empty) {
  EXPECT_EQ(ExpandConfigText("${a}/b", nullptr), "/b");
}

TEST(ConfigExpand, quoted_names_come_back_exactly) {
  for (const char* name : {"/plain/file.ini.xml", "/a}b/c", "/x/$HOME/%{PATH}/${k}", "/q\"{uote}}", "}", "/%%$$",
                           "/trail}"}) {
    std::string quoted = QuoteConfigFileName(name);
    EXPECT_EQ(Expand(quoted), name) << quoted;
  }
  EXPECT_EQ(QuoteConfigFileName("/plain/file.ini.xml"), "/plain/file.ini.xml");
}

TEST(ConfigFileNames, relative_names_become_absolute) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  std::string dir = cwd;
  if (dir != "/") dir += "/";
  EXPECT_EQ(MakeAbsoluteFileName("/abs/x"), "/abs/x");
  EXPECT_EQ(MakeAbsoluteFileName("rel/x.xml"), dir + "rel/x.xml");
  EXPECT_EQ(MakeAbsoluteFileName("\\x"), dir + "\\x");
}

TEST(ConfigFileNames, beside_the_program) {
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t/view.exe"), "/opt/t/view.ini.xml");
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t/tessel"), "/opt/t/tessel.ini.xml");
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t.d/tessel"), "/opt/t.d/tessel.ini.xml");
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t/.hidden"), "/opt/t/.hidden.ini.xml");
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t/a.b.c"), "/opt/t/a.b.ini.xml");
}

TEST(ConfigFileNames, portable_or_per_user) {
  EXPECT_EQ(ConfigFileNameFor("/opt/t/tessel", true, "/xdg", "/home/u"), "/opt/t/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, "/xdg", "/home/u"), "/xdg/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, "/xdg/", "/home/u"), "/xdg/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, nullptr, "/home/u"), "/home/u/.config/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, "", "/home/u/"), "/home/u/.config/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, "relative", "/home/u"),
            "/home/u/.config/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("", true, nullptr, "/home/u"), "/home/u/.config/tessel/tessel.ini.xml");
}

TEST(ConfigFileNames, override_wins_and_default_follows_this_program) {
  EXPECT_EQ(ChooseConfigFileName("/tmp/other.xml"), "/tmp/other.xml");
  std::string program = ProgramFileName();
  ASSERT_FALSE(program.empty());
  std::string chosen = ChooseConfigFileName("");
  std::string folder = program.substr(0, program.rfind('/'));
  if (::access(folder.c_str(), W_OK) == 0)
    EXPECT_EQ(chosen, ConfigNameBesideProgram(program));
  else
    EXPECT_NE(chosen.find("/tessel/tessel.ini.xml"), std::string::npos);
}
