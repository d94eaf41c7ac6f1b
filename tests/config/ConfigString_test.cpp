#include "config/ConfigString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "config/ConfigLocation.h"
#include "util/system/Exception.h"

using namespace tessel;

namespace {

std::string ReadKey(const std::string& path) {
  static const std::map<std::string, std::string> keys = {
      {"Options/DumpDirectory", "/dump"}, {"a}b!", "brace"}, {"d", "Options"}, {"Options/Name", "x$y"}};
  auto it = keys.find(path);
  return it == keys.end() ? std::string() : it->second;
}

std::string Expand(const std::string& s) {
  try {
    return ExpandConfigText(s, ReadKey);
  } catch (const Exception& e) {
    return std::string("error: ") + e.what();
  }
}

}  // namespace

TEST(ConfigExpand, rules_and_errors) {
  ::setenv("TESSEL_TEST_VAR", "/home/tester", 1);
  ::unsetenv("TESSEL_TEST_UNSET");
  std::string longValue(5000, 'v');  // no cut at any buffer size
  ::setenv("TESSEL_TEST_LONG", longValue.c_str(), 1);
  std::map<std::string, std::string> cases = {
      {"plain/name.xml", "plain/name.xml"},
      {"${Options/DumpDirectory}/x.ini.xml", "/dump/x.ini.xml"},
      {"${no/such/key}/x", "/x"},
      {"%{TESSEL_TEST_VAR}/.config", "/home/tester/.config"},
      {"%{TESSEL_TEST_UNSET}/a", "%TESSEL_TEST_UNSET%/a"},
      {"%{TESSEL_TEST_LONG}", longValue},
      {"a$$b%%c", "a$b%c"},
      {"$x%y end$", "$x%y end$"},
      {"end%", "end%"},
      {"${${d}/DumpDirectory}", "/dump"},  // nested
      {"${Options/Name}", "x$y"},          // values are not expanded again
      {"\"{${not}}%{expanded}}}", "${not}%{expanded}"},
      {"${\"{a}}b}!}", "brace"},
      {"\"x\"$$", "\"x\"$$"},  // a quote takes the next character literally
      {"\"}rest", "\"}rest"},
      {"keep}dropped${x}", "keep"},
      {"a${Options/DumpDirectory", "error: a${Options/DumpDirectory:\"}\" expected"},
      {"%{${d}", "error: %{${d}:\"}\" expected"},
      {"x\"{a}}", "error: x\"{a}}:\"}\" expected"},
      {"name\"", "error: name\":Unexpected EOS"}};
  for (auto& [in, out] : cases) EXPECT_EQ(Expand(in), out) << in;
  EXPECT_EQ(ExpandConfigText("${a}/b", nullptr), "/b");
  ::unsetenv("TESSEL_TEST_LONG");
}

TEST(ConfigExpand, quoted_names_come_back_exactly) {
  for (const char* name : {"/plain/file.ini.xml", "/a}b/c", "/x/$HOME/%{PATH}/${k}", "/q\"{uote}}", "}", "/%%$$"})
    EXPECT_EQ(Expand(QuoteConfigFileName(name)), name) << name;
  EXPECT_EQ(QuoteConfigFileName("/plain/file.ini.xml"), "/plain/file.ini.xml");
}

TEST(ConfigFileNames, where_the_file_lives) {
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t/view.exe"), "/opt/t/view.ini.xml");
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t.d/tessel"), "/opt/t.d/tessel.ini.xml");
  EXPECT_EQ(ConfigNameBesideProgram("/opt/t/.hidden"), "/opt/t/.hidden.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/opt/t/tessel", true, "/xdg", "/home/u"), "/opt/t/tessel.ini.xml");
  // Root can write to /usr/bin: an installed program still keeps its
  // settings in the user's folder.
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", true, nullptr, "/root"), "/root/.config/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/local/bin/tessel", true, "/xdg", "/root"), "/xdg/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usrx/tessel", true, "/xdg", "/root"), "/usrx/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, "/xdg/", "/home/u"), "/xdg/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, nullptr, "/home/u/"), "/home/u/.config/tessel/tessel.ini.xml");
  EXPECT_EQ(ConfigFileNameFor("/usr/bin/tessel", false, "relative", "/home/u"),
            "/home/u/.config/tessel/tessel.ini.xml");
  EXPECT_EQ(ChooseConfigFileName("/tmp/other.xml"), "/tmp/other.xml");
  // The build folder is writable: this test program counts as a portable install.
  EXPECT_EQ(ChooseConfigFileName(""), ConfigNameBesideProgram(ProgramFileName()));
}
