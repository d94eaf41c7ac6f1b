// The XML form of the key tree: exact output, and what loading makes of it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/QXConf.h"
#include "util/charsets/Charsets.h"
#include "util/streams/FileStream.h"

using namespace tessel;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n";

std::unique_ptr<TQXConfigFile> Loaded(const std::string& text) {
  auto config = std::make_unique<TQXConfigFile>();
  config->Silent = false;
  config->LoadFromString(text);
  return config;
}

// Names, child order, value names and values; a missing unnamed value and
// an empty one read the same through every accessor.
::testing::AssertionResult SameTree(TQCKey& a, TQCKey& b, const std::string& where = "/") {
  auto dump = [](TQCKey& k) {
    std::u16string s = Utf8ToWide(k.Name) + u"{";
    for (int32_t i = 0; i < k.ValueCount(); ++i)
      if (!k.ValueName(i).empty() || !k.ValueAt(i).empty())
        s += Utf8ToWide(k.ValueName(i)) + u"=" + k.ValueAt(i) + u";";
    return s + u"}" + std::u16string(1, char16_t(u'0' + k.Count()));
  };
  if (dump(a) != dump(b))
    return ::testing::AssertionFailure() << where << ": " << WideToUtf8(dump(a)) << " vs " << WideToUtf8(dump(b));
  for (int32_t i = 0; i < a.Count(); ++i)
    if (auto r = SameTree(a.Child(i), b.Child(i), where + a.Child(i).Name + "/"); !r) return r;
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ConfigFormat, worked_example_byte_exact) {
  TQXConfigFile config;
  config.WriteString("View/AsPanels", u"1");
  config.WriteString("Options/CreateTempFiles", u"Yes");
  config.OpenKey("Options/CreateTempFiles").WriteValue("Values", u"Yes;No");
  TQCKey& placement = config.OpenKey("window/placement");
  for (auto [name, value] : {std::pair{"W", 696}, {"H", 480}, {"T", 20}, {"L", 10}})
    placement.WriteInteger(name, value);
  std::string expected = ReadFileBytes(TESSEL_TEST_DATA "/settings.ini.xml");
  EXPECT_EQ(config.SaveToString("iso-8859-2"), expected);
  auto back = Loaded(expected);
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));
  EXPECT_EQ(back->SaveToString("iso-8859-2"), expected);
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
  config.WriteString("names", u"\u0416\u0443\u043A & co");  // not in Latin-2
  config.WriteString("trick", u"a]]>b");
  // Names that are no XML names, or reserved by the format.
  for (const char* name : {"a b", "a:b", "xmlns", "", "\xD0\x96uk"}) config.Root().CreateKey(name).SetValue(u"v");
  TQCKey& k = config.Root().CreateKey("1st");
  for (const char* name : {"Name", "1st", "a:b", "plain", "xmlns"}) k.WriteValue(name, u"x");
  k.WriteValue("empty name?", u"");
  config.Root().CreateKey("plain").WriteValue("Name", u"attr");
  std::string expected = ReadFileBytes(TESSEL_TEST_DATA "/forms.ini.xml");
  EXPECT_EQ(config.SaveToString("iso-8859-2"), expected);

  auto back = Loaded(expected);
  EXPECT_EQ(back->Info, "Tessel settings");
  EXPECT_EQ(back->ReadString("mru"), u"a\nb");  // CDATA line ends arrive as LF
  config.WriteString("mru", u"a\nb");
  EXPECT_TRUE(SameTree(config.Root(), back->Root()));
  EXPECT_TRUE(back->Root().FindKey("Options")->HasValue("default"));
  EXPECT_NE(config.SaveToString("utf-8").find("<\xD0\x96uk>v</\xD0\x96uk>"), std::string::npos);  // a name in UTF-8
}

TEST(ConfigFormat, empty_forms_and_comments) {
  TQXConfigFile config;
  EXPECT_EQ(config.SaveToString("iso-8859-2"), kDecl + "<Key/>");
  config.FriendlyEmptyFields = true;
  EXPECT_EQ(config.SaveToString("iso-8859-2"), kDecl + "<Key></Key>");
  config.FriendlyEmptyFields = false;
  config.Root().SetValue(u"");  // an empty text still closes the start tag
  EXPECT_EQ(config.SaveToString("iso-8859-2"), kDecl + "<Key></Key>");
  config.OpenKey("a").Comment = u"note--";  // made fit for a comment
  config.Info = "line1\r\nline2";
  EXPECT_EQ(config.SaveToString("iso-8859-2"),
            kDecl + "\r\n<!--line1\r\nline2-->\r\n<Key>\r\n  <a><!--note- - -->\r\n</a>\r\n</Key>");
}

TEST(ConfigFormat, comment_keeps_characters_the_charset_lacks) {
  // Cyrillic and the euro sign are not in Latin-2, an emoji is in no 8-bit
  // charset; a "&#x" of the text itself must come back as it was.
  const std::string infos[] = {"\xD0\x9D\xD0\xB0\xD1\x81\xD1\x82\xD1\x80\xD0\xBE\xD0\xB9\xD0\xBA\xD0\xB8 \xE2\x82\xAC",
                               "smile \xF0\x9F\x98\x80 and \xC5\xA1", "literal &#x41; & &#x;", "&#x110000; &#xD800;"};
  for (const std::string& info : infos) {
    TQXConfigFile config;
    config.Info = info;
    std::string text = config.SaveToString("iso-8859-2");
    TQXConfigFile back;
    back.LoadFromString(text);
    EXPECT_EQ(back.Info, info) << text;
  }
  TQXConfigFile utf8;
  utf8.Info = infos[0];
  EXPECT_NE(utf8.SaveToString("utf-8").find("<!--" + infos[0] + "-->"), std::string::npos);  // written as itself
}

TEST(ConfigFormat, leaf_text_and_attribute_forms) {
  struct Case {
    std::u16string value;
    std::string text;  // as the key's text
    std::u16string textBack;
    std::u16string attrBack;  // as an attribute, where CR survives
  } cases[] = {{u"a&b>", "<![CDATA[a&b>]]>", u"a&b>", u"a&b>"},
               {u"x\ry\r\nz\n", "<![CDATA[x\ry\r\nz\n]]>", u"x\ny\nz\n", u"x\ry\r\nz\n"},
               {u"\t\"'\n", "\t\"'\n", u"\t\"'\n", u"\t\"'\n"},
               {u"]]]]>>", "<![CDATA[]]]]]]><![CDATA[>>]]>", u"]]]]>>", u"]]]]>>"},
               {u"\u20AC<\r]]>", "&#x20AC;&lt;&#xD;]]&gt;", u"\u20AC<\r]]>", u"\u20AC<\r]]>"},  // not in Latin-2
               {u"a\x01\uFFFE\U0001F600", "a&#xFFFD;&#xFFFD;&#xFFFD;", u"a\uFFFD\uFFFD\uFFFD", u"a\uFFFD\uFFFD\uFFFD"}};
  for (const Case& c : cases) {
    TQXConfigFile config;
    config.WriteString("k", c.value);
    config.OpenKey("k").WriteValue("a", c.value);
    std::string text = config.SaveToString("iso-8859-2");
    EXPECT_NE(text.find(">" + c.text + "</k>"), std::string::npos) << text;
    auto back = Loaded(text);
    EXPECT_EQ(back->ReadString("k"), c.textBack) << c.text;
    EXPECT_EQ(back->Root().ReadString("k@a"), c.attrBack) << c.text;
  }
  TQXConfigFile attr;
  attr.OpenKey("k").WriteValue("a", u"\t\n\r\"&<>");
  EXPECT_NE(attr.SaveToString("iso-8859-2").find("a=\"&#x9;&#xA;&#xD;&quot;&amp;&lt;>\""), std::string::npos);
}

TEST(ConfigFormat, loading_rules) {
  auto back = Loaded(
      "<!-- first --><settings version='2'><!--second-->\n  <a>\n    <b/>\n  </a>\n  <c x='1'>\n  </c>\n"
      "  <d> <value name='v' value='1'/> </d>\n  <e>\n <value>R&amp;D</value>\n <f/>\n </e>\n"
      "  <a>2</a>\n  <Key name='n'/>\n</settings>");
  TQCKey& root = back->Root();
  EXPECT_EQ(back->Info, "first");
  EXPECT_EQ(root.Name, "settings");
  EXPECT_EQ(root.ReadValue("version"), u"2");
  EXPECT_FALSE(root.HasValue("") || root.FindKey("a")->HasValue("") || root.FindKey("d")->HasValue(""));
  EXPECT_EQ(root.FindKey("a/b")->ValueCount(), 0);
  EXPECT_EQ(back->ReadString("c"), u"\n  ");  // a leaf's text, white space and all
  EXPECT_EQ(root.ReadString("d@v"), u"1");
  EXPECT_EQ(back->ReadString("e"), u"R&D");  // delivered in pieces, all appended
  EXPECT_EQ(root.Child(4).Value(), u"2");    // the second "a"; lookups find the first
  EXPECT_EQ(root.Child(5).Name, "n");
  EXPECT_FALSE(back->Modified());
  EXPECT_EQ(back->SaveToString("iso-8859-2").find("<!--first-->\r\n<settings version=\"2\">\r\n  <a>"), kDecl.size());

  TQXConfigFile keeps;
  keeps.Info = "mine";
  keeps.LoadFromString("<!--theirs--><Key/>");
  EXPECT_EQ(keeps.Info, "mine");
}

TEST(ConfigFormat, long_value_in_many_pieces_loads_in_linear_time) {
  std::string body;
  for (int i = 0; i < 200000; ++i) body += "ab&amp;";  // every reference ends a piece
  auto back = Loaded("<Key><k><value>" + body + "</value><c/></k></Key>");
  EXPECT_EQ(back->ReadString("k").size(), 600000u);
}

// Random trees through save and load in two charsets: names mix plain XML
// names, the format's reserved words and names that are no XML names; values
// mix markup, line ends, "]]>" and characters outside Latin-2.
TEST(ConfigFormat, random_trees_round_trip) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> names = {"a",   "B",   "value",   "Key", "name",  "default",           "1st",
                                          "x y", "a:b", "Options", "W",   "xmlns", "\xC3\xA9t\xC3\xA9", "\xD0\x96",
                                          "-",   ""};
  const std::vector<std::u16string> pieces = {u"x",      u"\r",     u"\n",         u"\r\n", u"\t",  u"\"",
                                              u"'",      u"&",      u"<",          u">",    u"]]>", u" ",
                                              u"\u0104", u"\u0416", u"\U0001F600", u"&amp;"};
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::function<void(TQCKey&, int)> grow = [&](TQCKey& key, int depth) {
    for (size_t n = pick(4); n > 0; --n) {
      std::u16string v;
      for (size_t m = pick(6); m > 0; --m) v += pieces[pick(pieces.size())];
      key.WriteValue(names[pick(names.size())], v);
    }
    for (size_t n = depth < 3 ? pick(4) : 0; n > 0; --n) grow(key.CreateKey(names[pick(names.size())]), depth + 1);
  };
  // What saving and loading change by design, applied to both sides (a value
  // written as escaped text keeps its CRs): CDATA line ends come back as LF,
  // characters beyond U+FFFF as U+FFFD.
  std::function<void(TQCKey&)> normalise = [&](TQCKey& key) {
    for (int32_t i = 0; i < key.ValueCount(); ++i) {
      std::u16string v = key.ValueAt(i), out;
      for (size_t j = 0; j < v.size(); ++j) {
        bool pair = j + 1 < v.size() && (v[j] == u'\r' ? v[j + 1] == u'\n' : v[j] >= 0xD800 && v[j] <= 0xDBFF);
        out += v[j] == u'\r' ? u'\n' : v[j] >= 0xD800 && v[j] <= 0xDBFF ? u'\uFFFD' : v[j];
        if (pair) ++j;
      }
      key.WriteValue(key.ValueName(i), out);
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
