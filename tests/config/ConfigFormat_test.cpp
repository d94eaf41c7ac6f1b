// The XML form of the key tree: exact output, and what loading makes of it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/QXConf.h"
#include "util/Charsets.h"
#include "util/Exception.h"
#include "util/FileStream.h"

using namespace tessel;

namespace {

std::string DataFile(const std::string& name) { return ReadFileBytes(std::string(TESSEL_TEST_DATA) + "/" + name); }

std::string Saved(TQXConfigFile& config, const std::string& encoding = "iso-8859-2") {
  return config.SaveToString(encoding);
}

// Loads text into a fresh component with errors passed on.
std::unique_ptr<TQXConfigFile> Loaded(const std::string& text) {
  auto config = std::make_unique<TQXConfigFile>();
  config->Silent = false;
  config->LoadFromString(text);
  return config;
}

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n";

// Whole-tree equality: names, child order, value names and values. A missing
// unnamed value and an empty one read the same through every accessor.
::testing::AssertionResult SameTree(TQCKey& a, TQCKey& b, const std::string& where = "/") {
  if (a.Name != b.Name) return ::testing::AssertionFailure() << where << ": name " << a.Name << " vs " << b.Name;
  auto valuesOf = [](TQCKey& k) {
    std::vector<std::pair<std::string, std::u16string>> v;
    for (int32_t i = 0; i < k.ValueCount(); ++i)
      if (!(k.ValueName(i).empty() && k.ValueAt(i).empty())) v.emplace_back(k.ValueName(i), k.ValueAt(i));
    return v;
  };
  auto va = valuesOf(a), vb = valuesOf(b);
  if (va.size() != vb.size())
    return ::testing::AssertionFailure() << where << ": " << va.size() << " values vs " << vb.size();
  for (size_t i = 0; i < va.size(); ++i)
    if (va[i] != vb[i])
      return ::testing::AssertionFailure() << where << ": value " << va[i].first << "=" << WideToUtf8(va[i].second)
                                           << " vs " << vb[i].first << "=" << WideToUtf8(vb[i].second);
  if (a.Count() != b.Count())
    return ::testing::AssertionFailure() << where << ": " << a.Count() << " children vs " << b.Count();
  for (int32_t i = 0; i < a.Count(); ++i) {
    auto r = SameTree(a.Child(i), b.Child(i), where + a.Child(i).Name + "/");
    if (!r) return r;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ConfigFormat, worked_example_byte_exact) {
  TQXConfigFile config;
  config.WriteString("View/AsPanels", u"1");
  TQCKey& temp = config.OpenKey("Options/CreateTempFiles");
  temp.SetValue(u"Yes");
  temp.WriteValue("Values", u"Yes;No");
  TQCKey& placement = config.OpenKey("window/placement");
  placement.WriteInteger("W", 696);
  placement.WriteInteger("H", 480);
  placement.WriteInteger("T", 20);
  placement.WriteInteger("L", 10);
  std::string expected = DataFile("settings.ini.xml");
  EXPECT_EQ(Saved(config), expected);

  auto back = Loaded(expected);
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));
  EXPECT_EQ(back->ReadString("Options/CreateTempFiles"), u"Yes");
  EXPECT_EQ(back->Root().FindKey("window/placement")->ReadInteger("W"), 696);
  EXPECT_EQ(Saved(*back), expected);
}

TEST(ConfigFormat, special_forms_byte_exact) {
  TQXConfigFile config;
  config.Info = "  Tessel settings\t";
  config.WriteString("1st", u"x<y");
  config.WriteString("mru", u"a\r\nb");
  TQCKey& options = config.OpenKey("Options");
  options.WriteValue("Values", u"Yes;No");
  options.WriteValue("name", u"n");
  options.WriteValue("default", u"");
  options.SetValue(u"Yes");
  config.Root().CreateKey("Key").CreateKey("value").WriteValue("a", u"t\tq\"&<>");
  config.WriteString("names", u"\u0416\u0443\u043A & co");
  config.WriteString("trick", u"a]]>b");
  std::string expected = DataFile("forms.ini.xml");
  EXPECT_EQ(Saved(config), expected);

  auto back = Loaded(expected);
  EXPECT_EQ(back->Info, "Tessel settings");
  EXPECT_EQ(back->ReadString("1st"), u"x<y");
  EXPECT_EQ(back->ReadString("mru"), u"a\nb");  // CDATA line ends arrive as LF
  EXPECT_EQ(back->ReadString("Options"), u"Yes");
  EXPECT_EQ(back->Root().ReadString("Options@name"), u"n");
  EXPECT_TRUE(back->Root().FindKey("Options")->HasValue("default"));
  EXPECT_EQ(back->Root().ReadString("Key/value@a"), u"t\tq\"&<>");
  EXPECT_EQ(back->ReadString("names"), u"\u0416\u0443\u043A & co");
  EXPECT_EQ(back->ReadString("trick"), u"a]]>b");
}

TEST(ConfigFormat, fresh_tree_is_an_empty_key_element) {
  TQXConfigFile config;
  EXPECT_EQ(Saved(config), kDecl + "<Key/>");
  config.FriendlyEmptyFields = true;
  EXPECT_EQ(Saved(config), kDecl + "<Key></Key>");
  config.Root().WriteValue("", u"");
  config.FriendlyEmptyFields = false;
  EXPECT_EQ(Saved(config), kDecl + "<Key></Key>");  // an empty text still closes the start tag
}

TEST(ConfigFormat, names_that_cannot_be_element_names) {
  TQXConfigFile config;
  for (const char* name : {"value", "Key", "1st", "a b", "a:b", "xmlns", "", "\xD0\x96uk"}) {
    config.Root().CreateKey(name).SetValue(u"v");
  }
  std::string text = Saved(config);
  for (const char* attr : {"name=\"value\"", "name=\"Key\"", "name=\"1st\"", "name=\"a b\"", "name=\"a:b\"",
                           "name=\"xmlns\"", "name=\"&#x416;uk\""})
    EXPECT_NE(text.find(attr), std::string::npos) << attr;
  // A key with an empty name is a bare Key element.
  EXPECT_NE(text.find("\r\n  <Key>v</Key>"), std::string::npos);
  auto back = Loaded(text);
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));

  // A name the charset can spell stays an element name.
  TQXConfigFile utf8;
  utf8.WriteString("\xD0\x96uk", u"v");
  EXPECT_NE(Saved(utf8, "utf-8").find("<\xD0\x96uk>v</\xD0\x96uk>"), std::string::npos);
}

TEST(ConfigFormat, values_that_cannot_be_attributes) {
  TQXConfigFile config;
  TQCKey& k = config.OpenKey("k");
  k.WriteValue("name", u"n");
  k.WriteValue("default", u"d");
  k.WriteValue("1st", u"one");
  k.WriteValue("a:b", u"colon");
  k.WriteValue("empty name?", u"");
  k.WriteValue("plain", u"p");
  std::string text = Saved(config);
  EXPECT_NE(text.find("<k plain=\"p\">"), std::string::npos) << text;
  EXPECT_NE(text.find("<value name=\"empty name?\"/>"), std::string::npos) << text;
  EXPECT_EQ(text.find(" 1st="), std::string::npos);
  auto back = Loaded(text);
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));
  EXPECT_TRUE(back->Root().FindKey("k")->HasValue("empty name?"));
}

TEST(ConfigFormat, value_spelled_like_the_name_attribute) {
  // On a "Key" element the key's own name attribute is there already; a value
  // "Name" beside it would be a duplicate attribute.
  TQXConfigFile config;
  TQCKey& k = config.Root().CreateKey("1st");
  k.WriteValue("NAME", u"upper");
  k.WriteValue("Default", u"d");
  config.Root().CreateKey("plain").WriteValue("Name", u"attr");
  std::string text = Saved(config);
  EXPECT_NE(text.find("<plain Name=\"attr\"/>"), std::string::npos) << text;
  EXPECT_NE(text.find("<value name=\"NAME\""), std::string::npos) << text;
  auto back = Loaded(text);
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));
}

TEST(ConfigFormat, key_with_children_and_own_value) {
  TQXConfigFile config;
  TQCKey& parent = config.OpenKey("parent");
  parent.SetValue(u"R&D <1>");
  parent.CreateKey("child").SetValue(u"c");
  std::string text = Saved(config);
  EXPECT_NE(text.find("  <parent>\r\n    <value>R&amp;D &lt;1&gt;</value>\r\n    <child>c</child>\r\n  </parent>"),
            std::string::npos)
      << text;
  auto back = Loaded(text);
  // The parser hands "R&D <1>" over in pieces; all of them arrive.
  EXPECT_EQ(back->ReadString("parent"), u"R&D <1>");
  EXPECT_EQ(back->ReadString("parent/child"), u"c");
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));
}

TEST(ConfigFormat, long_value_in_many_pieces_loads_in_linear_time) {
  // Every reference ends a piece of character data; copying the value per
  // piece would take minutes here.
  std::string body;
  std::u16string expected;
  for (int i = 0; i < 200000; ++i) {
    body += "ab&amp;";
    expected += u"ab&";
  }
  auto back = Loaded("<Key><k><value>" + body + "</value><c/></k><leaf>" + body + "</leaf></Key>");
  EXPECT_EQ(back->ReadString("k"), expected);
  EXPECT_EQ(back->ReadString("leaf"), expected);
}

TEST(ConfigFormat, white_space_between_elements_is_no_value) {
  auto back = Loaded("<Key>\n  <a>\n    <b/>\n  </a>\n  <c x='1'>\n  </c>\n  <d> <value name='v' value='1'/> </d>\n"
                     "  <e>\n <value>own</value>\n <f/>\n </e>\n</Key>");
  TQCKey& root = back->Root();
  EXPECT_FALSE(root.HasValue(""));
  EXPECT_FALSE(root.FindKey("a")->HasValue(""));
  EXPECT_EQ(root.FindKey("a/b")->ValueCount(), 0);
  // A leaf's text is its value, white space included.
  EXPECT_EQ(back->ReadString("c"), u"\n  ");
  EXPECT_EQ(root.ReadString("c@x"), u"1");
  EXPECT_FALSE(root.FindKey("d")->HasValue(""));
  EXPECT_EQ(root.ReadString("d@v"), u"1");
  EXPECT_EQ(back->ReadString("e"), u"own");
}

TEST(ConfigFormat, leaf_text_forms) {
  struct Case {
    std::u16string value;
    std::string written;
    std::u16string readBack;
  } cases[] = {
      {u"plain", "<k>plain</k>", u"plain"},
      {u"a&b", "<k><![CDATA[a&b]]></k>", u"a&b"},
      {u"a>b", "<k><![CDATA[a>b]]></k>", u"a>b"},
      {u"x\ry\r\nz\n", "<k><![CDATA[x\ry\r\nz\n]]></k>", u"x\ny\nz\n"},
      {u"tab\tlf\n", "<k>tab\tlf\n</k>", u"tab\tlf\n"},
      {u"]]>", "<k><![CDATA[]]]]><![CDATA[>]]></k>", u"]]>"},
      {u"]]]]>>", "<k><![CDATA[]]]]]]><![CDATA[>>]]></k>", u"]]]]>>"},
      // A character the charset lacks: escaped text, CR kept as a reference.
      {u"\u20AC<\r", "<k>&#x20AC;&lt;&#xD;</k>", u"\u20AC<\r"},
      {u"\u20AC]]>", "<k>&#x20AC;]]&gt;</k>", u"\u20AC]]>"},
  };
  for (const Case& c : cases) {
    TQXConfigFile config;
    config.WriteString("k", c.value);
    std::string text = Saved(config);
    EXPECT_EQ(text, kDecl + "<Key>\r\n  " + c.written + "\r\n</Key>") << WideToUtf8(c.value);
    EXPECT_EQ(Loaded(text)->ReadString("k"), c.readBack) << text;
  }
}

TEST(ConfigFormat, attribute_values_round_trip) {
  TQXConfigFile config;
  std::u16string nasty = u"\t\n\r\"&<>' \u0416]]>";
  config.OpenKey("k").WriteValue("a", nasty);
  std::string text = Saved(config);
  EXPECT_NE(text.find("a=\"&#x9;&#xA;&#xD;&quot;&amp;&lt;>' &#x416;]]>\""), std::string::npos) << text;
  EXPECT_EQ(Loaded(text)->Root().ReadString("k@a"), nasty);
}

TEST(ConfigFormat, characters_xml_cannot_carry_become_replacement) {
  TQXConfigFile config;
  config.WriteString("ctl", std::u16string(u"a") + char16_t(1) + u"b" + char16_t(0xFFFE));
  config.OpenKey("attr").WriteValue("v", std::u16string(1, char16_t(0xDC00)) + u"x" + char16_t(0xD800));
  std::string text = Saved(config);
  auto back = Loaded(text);  // the file must load again
  EXPECT_EQ(back->ReadString("ctl"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(back->Root().ReadString("attr@v"), u"\uFFFDx\uFFFD");
}

TEST(ConfigFormat, info_comes_from_the_first_comment_only_when_empty) {
  std::string text = "<!-- first --><Key><!--second--><a/></Key><!--third-->";
  EXPECT_EQ(Loaded(text)->Info, "first");
  TQXConfigFile config;
  config.Info = "mine";
  config.LoadFromString(text);
  EXPECT_EQ(config.Info, "mine");
  EXPECT_NE(config.Root().FindKey("a"), nullptr);

  TQXConfigFile multi;
  multi.Info = "line1\r\nline2";
  EXPECT_EQ(Saved(multi), kDecl + "\r\n<!--line1\r\nline2-->\r\n<Key/>");
  TQXConfigFile dashes;
  dashes.Info = "a--b-";
  EXPECT_EQ(Saved(dashes), kDecl + "<!--a- -b- -->\r\n<Key/>");
  EXPECT_EQ(Loaded(Saved(dashes))->Info, "a- -b-");
}

TEST(ConfigFormat, root_and_sibling_names_survive_loading) {
  auto back = Loaded("<settings version='2'><a>1</a><A>2</A><Key name='n'/></settings>");
  TQCKey& root = back->Root();
  EXPECT_EQ(root.Name, "settings");
  EXPECT_EQ(root.ReadValue("version"), u"2");
  ASSERT_EQ(root.Count(), 3);
  EXPECT_EQ(back->ReadString("a"), u"1");
  EXPECT_EQ(root.Child(1).Value(), u"2");
  EXPECT_EQ(root.Child(2).Name, "n");
  EXPECT_EQ(Saved(*back), kDecl + "<settings version=\"2\">\r\n  <a>1</a>\r\n  <A>2</A>\r\n  <n/>\r\n</settings>");

  auto named = Loaded("<Key name='top'/>");
  EXPECT_EQ(named->Root().Name, "top");
  EXPECT_EQ(named->Root().ValueCount(), 0);
}

TEST(ConfigFormat, empty_element_with_attributes_is_a_key_without_own_value) {
  auto back = Loaded("<Key><placement W='1' H='2'/></Key>");
  TQCKey* p = back->Root().FindKey("placement");
  ASSERT_NE(p, nullptr);
  EXPECT_FALSE(p->HasValue(""));
  EXPECT_EQ(p->ReadInteger("W"), 1);
  EXPECT_EQ(p->ReadInteger("H"), 2);
}

TEST(ConfigFormat, key_comment_written_after_start_tag) {
  TQXConfigFile config;
  config.OpenKey("a").Comment = u"note";
  EXPECT_EQ(Saved(config), kDecl + "<Key>\r\n  <a><!--note-->\r\n</a>\r\n</Key>");
}

TEST(ConfigFormat, unknown_encoding_falls_back_and_says_so) {
  TQXConfigFile config;
  config.WriteString("k", u"\u0104");  // in Latin-2
  std::string text = config.SaveToString("no-such-charset");
  EXPECT_EQ(text, kDecl + "<Key>\r\n  <k>\xA1</k>\r\n</Key>");
  EXPECT_EQ(Loaded(text)->ReadString("k"), u"\u0104");
}

TEST(ConfigFormat, utf8_file_round_trip) {
  TQXConfigFile config;
  config.WriteString("k", u"\u0416\u20AC&");
  config.OpenKey("k").WriteValue("a", u"\u4E2D");
  std::string text = config.SaveToString("utf-8");
  EXPECT_EQ(text.substr(0, 38), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  EXPECT_NE(text.find("\xE2\x82\xAC"), std::string::npos);
  auto back = Loaded(text);
  EXPECT_EQ(back->ReadString("k"), u"\u0416\u20AC&");
  EXPECT_EQ(back->Root().ReadString("k@a"), u"\u4E2D");
}

TEST(ConfigFormat, load_replaces_the_whole_tree) {
  TQXConfigFile config;
  config.WriteString("old", u"1");
  config.LoadFromString("<Key><new>2</new></Key>");
  EXPECT_EQ(config.Root().FindKey("old"), nullptr);
  EXPECT_EQ(config.ReadString("new"), u"2");
  EXPECT_FALSE(config.Modified());
}

// Random trees through save and load, in two charsets. Names mix plain XML
// names, the reserved words of the format and names that are no XML names;
// values mix markup characters, line ends, "]]>" and characters outside
// Latin-2.
TEST(ConfigFormat, random_trees_round_trip) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> names = {"a", "B", "value", "Key", "name", "default", "1st", "x y", "a:b", "_u",
                                          "Options", "W", "h", "xmlns", "\xC3\xA9t\xC3\xA9", "\xD0\x96", "-", ""};
  const std::vector<std::u16string> pieces = {u"x",  u"\r",      u"\n",       u"\r\n", u"\t", u"\"", u"'",
                                              u"&",  u"<",       u">",        u"]]>",  u"]]", u" ",  u"\u0104",
                                              u"\u0416", u"\u20AC", u"\U0001F600", u"&amp;", u"<![CDATA["};
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  auto randomValue = [&] {
    std::u16string v;
    for (size_t n = pick(6); n > 0; --n) v += pieces[pick(pieces.size())];
    return v;
  };
  std::function<void(TQCKey&, int)> grow = [&](TQCKey& key, int depth) {
    for (size_t n = pick(4); n > 0; --n) key.WriteValue(names[pick(names.size())], randomValue());
    if (depth < 3)
      for (size_t n = pick(4); n > 0; --n) grow(key.CreateKey(names[pick(names.size())]), depth + 1);
  };
  // The changes a save and load make by design: line ends in CDATA come
  // back as LF, characters beyond U+FFFF as U+FFFD. Applied to both sides,
  // since a value written as escaped text keeps its CRs.
  std::function<void(TQCKey&)> normalise = [&](TQCKey& key) {
    for (int32_t i = 0; i < key.ValueCount(); ++i) {
      std::u16string v = key.ValueAt(i), out;
      for (size_t j = 0; j < v.size(); ++j) {
        if (v[j] == u'\r') {
          out += u'\n';
          if (j + 1 < v.size() && v[j + 1] == u'\n') ++j;
        } else if (v[j] >= 0xD800 && v[j] <= 0xDBFF) {
          out += u'\uFFFD';
          ++j;
        } else {
          out += v[j];
        }
      }
      if (out != v) key.WriteValue(key.ValueName(i), out);
    }
    for (int32_t i = 0; i < key.Count(); ++i) normalise(key.Child(i));
  };

  for (int round = 0; round < 200; ++round) {
    TQXConfigFile config;
    grow(config.Root(), 0);
    std::vector<std::string> texts = {config.SaveToString("iso-8859-2"), config.SaveToString("utf-8")};
    normalise(config.Root());
    for (const std::string& text : texts) {
      std::unique_ptr<TQXConfigFile> back;
      ASSERT_NO_THROW(back = Loaded(text)) << text;
      normalise(back->Root());
      ASSERT_TRUE(SameTree(config.Root(), back->Root())) << "round " << round << "\n" << text;
    }
  }
}
