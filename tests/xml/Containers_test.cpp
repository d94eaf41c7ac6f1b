// Attribute lists, wide-string maps, the key comparison they share, and the
// character classes.
#include <gtest/gtest.h>

#include <cstdio>

#include "XmlTestUtil.h"
#include "xml/QXMLUtils.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

std::string Order(const TAttrList& list) {
  std::string s;
  for (int32_t i = 0; i < list.Count(); ++i) s += (i ? "," : "") + N(list.Items(i)->Name.QualifiedName);
  return s;
}

}  // namespace

TEST(XmlAttrlist, sorted_without_case_duplicates_refused_and_clear) {
  TAttrList list;
  list.Add(Q("name"), u"1");
  list.Add(Q("Values"), u"2");
  list.Add(Q("default"), u"3");
  EXPECT_EQ(Order(list), "default,name,Values");
  try {
    list.Add(Q("NAME"), u"x");
    FAIL() << "duplicate accepted";
  } catch (const EDuplicateKey& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(N(list.GetValue(u"Name")), "1");
  EXPECT_EQ(list.GetValue(u"missing"), u"");
  TAttrList other;
  other.Add(Q("a"), u"v");
  other.AddCopy(*list.Items(0));
  EXPECT_EQ(Order(other), "a,default");
  EXPECT_EQ(N(other.Items(1)->Value), "3");
  // Cleared without freeing, the attributes stay with whoever added them.
  TAttribute kept(Q("k"), u"v");
  TAttrList borrowed;
  borrowed.AddAttribute(&kept);
  borrowed.Clear(false);
  EXPECT_EQ(borrowed.Count(), 0);
  EXPECT_EQ(kept.Value, u"v");     // not freed (a double free would crash under ASan)
  borrowed.Add(Q("owned"), u"x");  // freed by the list's destructor
}

TEST(XmlAttrlist, many_attributes_in_any_order) {
  // Past the first few, attributes are appended and sorted when read; the
  // order, the lookups and the duplicate check must not notice.
  for (bool reverse : {false, true}) {
    TAttrList list;
    const int n = 1000;
    for (int i = 0; i < n; ++i) {
      int k = reverse ? n - 1 - i : (i * 7919) % n;
      char name[16];
      std::snprintf(name, sizeof name, "a%04d", k);
      list.Add(Q(name), W(std::to_string(k)));
      if (i == 500) {  // reading midway sorts; later adds must keep working
        EXPECT_EQ(list.Count(), 501);
        EXPECT_NE(list.Items(0), nullptr);
      }
    }
    EXPECT_THROW(list.Add(Q("A0500"), u"x"), EDuplicateKey);  // without regard to case, as before
    EXPECT_THROW(list.Add(Q("a0003"), u"x"), EDuplicateKey);
    ASSERT_EQ(list.Count(), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(N(list.Items(i)->Value), std::to_string(i));
    EXPECT_EQ(list.IndexOf(u"A0999"), 999);
    list.Add(Q("b"), u"last");
    EXPECT_EQ(list.IndexOf(u"b"), n);
    EXPECT_EQ(N(list.Items(0)->Value), "0");
    list.Clear(true);
    list.Add(Q("z"), u"1");
    list.Add(Q("y"), u"2");
    EXPECT_EQ(Order(list), "y,z");
  }
}

TEST(XmlMap, many_keys_in_any_order) {
  TWideStringMap map;
  const int n = 2000;
  for (int i = 0; i < n; ++i) {
    int k = (i * 7919) % n;
    map.Put(W("K" + std::to_string(k)), W("v" + std::to_string(k)));
    if (i % 300 == 0) {  // reading the order between puts
      for (int32_t j = 1; j < map.Count(); ++j) ASSERT_LT(CompareKeys(map.Keys(j - 1), map.Keys(j)), 0);
    }
  }
  ASSERT_EQ(map.Count(), n);
  for (int32_t j = 1; j < n; ++j) ASSERT_LT(CompareKeys(map.Keys(j - 1), map.Keys(j)), 0);
  EXPECT_EQ(map.Get(u"k1234"), u"v1234");
  EXPECT_EQ(map.ReverseMap()->Get(u"V1234"), u"K1234");
  map.Put(u"k1234", u"new");  // replaces; the key keeps its first spelling
  EXPECT_EQ(map.Count(), n);
  map.Remove(u"K1234");
  EXPECT_FALSE(map.Contains(u"k1234"));
  EXPECT_EQ(map.Get(u"K1234"), u"");
  EXPECT_EQ(map.Count(), n - 1);
  map.Put(u"K1234", u"again");
  EXPECT_EQ(map.Get(u"k1234"), u"again");
  map.RemoveAt(0);  // "K0" by the order
  EXPECT_FALSE(map.Contains(u"K0"));

  TWideStringList<int> list;
  list.Add(u"e", std::make_unique<int>(1));
  list.Add(u"E", std::make_unique<int>(2));
  EXPECT_EQ(*list.Find(u"e"), 1);  // the first of a name wins
  EXPECT_EQ(list.Count(), 2);
  list.Clear();
  EXPECT_EQ(list.Find(u"e"), nullptr);
}

TEST(XmlKeys, case_folding_order_and_utf8) {
  const std::u16string kLoneSurrogate(1, static_cast<char16_t>(0xD800));
  // Sign of CompareKeys for each pair: "_" comes before the letters, also
  // before capitals; folding covers Latin-1, Latin Extended-A and Cyrillic.
  const std::tuple<std::u16string, std::u16string, int> pairs[] = {{u"abc", u"ABC", 0},
                                                                   {u"_x", u"a", -1},
                                                                   {u"_x", u"A", -1},
                                                                   {u"ab", u"abc", -1},
                                                                   {u"b", u"Abc", 1},
                                                                   {u"\u00c9T\u0141", u"\u00e9t\u0142", 0},
                                                                   {u"\u0416", u"\u0436", 0},
                                                                   {u"\u00e9", u"e", 1},
                                                                   {u"\u0178", u"\u00ff", 0},
                                                                   {u"a\u0100", u"A\u0101", 0},
                                                                   {kLoneSurrogate, u"\ue000", -1},
                                                                   {u"\u00ff", u"\u0100", -1},
                                                                   {u"", u"a", -1}};
  // The attribute list orders the wide names, the maps their keys: both
  // orders must agree.
  for (const auto& [a, b, sign] : pairs) {
    int c = CompareKeys(KeyFromWide(a), KeyFromWide(b));
    EXPECT_EQ((c > 0) - (c < 0), sign) << N(a) << " " << N(b);
    int w = CompareWideKeys(a, b);
    EXPECT_EQ((w > 0) - (w < 0), sign) << N(a) << " " << N(b);
    w = CompareWideKeys(b, a);
    EXPECT_EQ((w > 0) - (w < 0), -sign) << N(b) << " " << N(a);
  }
  // Keys round-trip, lone surrogates included.
  std::u16string odd = u"a\u00e9\u20ac";
  odd += static_cast<char16_t>(0xD800);
  EXPECT_EQ(WideFromKey(KeyFromWide(odd)), odd);
  EXPECT_EQ(KeyFromWide(u"\u00e9"), "\xc3\xa9");
}

TEST(XmlMap, put_get_replace_and_remove_without_case) {
  TWideStringMap map;
  map.Put(u"x", u"1");
  map.Put(u"X", u"2");
  EXPECT_EQ(map.Count(), 1);
  EXPECT_EQ(map.Keys(0), "x");
  EXPECT_EQ(map.Get(u"X"), u"2");
  EXPECT_TRUE(map.Contains("x"));
  EXPECT_EQ(map.Get(u"none"), u"");
  // Overwriting leaves the reverse entry of the old value in place.
  EXPECT_EQ(map.ReverseMap()->Get(u"1"), u"x");
  EXPECT_EQ(map.ReverseMap()->Get(u"2"), u"X");
  map.Clear();
  EXPECT_EQ(map.Count() + map.ReverseMap()->Count(), 0);

  // Removing takes the reverse entry only when it names the removed key.
  map.Put(u"a", u"same");
  map.Put(u"b", u"same");  // reverse: same -> b
  map.Remove(u"a");
  EXPECT_EQ(map.ReverseMap()->Get(u"same"), u"b");
  map.Remove(u"missing");
  map.RemoveAt(0);
  EXPECT_EQ(map.Count() + map.ReverseMap()->Count(), 0);
}

TEST(XmlChars, names_and_classes) {
  // Digits are ASCII only and the only extender is U+00B7.
  const std::pair<std::u16string, bool> names[] = {
      {u"placement", true}, {u"_a.b-c:d\u00b7", true}, {u":x", true},  {u"\u0436\u0301", true}, {u"", false},
      {u"1st", false},      {u"a b", false},           {u"-a", false}, {u"a\u0660", false},     {u"a\u30fc", false}};
  for (const auto& [name, ok] : names) EXPECT_EQ(IsName(name), ok) << N(name);
  EXPECT_TRUE(IsLetter(u'\u4e00'));
  EXPECT_FALSE(IsLetter(u'\u00d7'));
  EXPECT_TRUE(IsXmlChar(u'\t') && IsXmlChar(u'\ufffd'));
  EXPECT_FALSE(IsXmlChar(u'\0') || IsXmlChar(u'\ufffe') || IsXmlChar(static_cast<char16_t>(0xDC00)));
}

TEST(XmlChars, ends_of_the_character_range) {
  // Each code point as a literal character and as a reference in content.
  const std::pair<char16_t, bool> cases[] = {{0x1F, false},   {0x20, true},    {0xD7FF, true},
                                             {0xD800, false}, {0xDFFF, false}, {0xE000, true},
                                             {0xFFFD, true},  {0xFFFE, false}, {0xFFFF, false}};
  for (auto [c, ok] : cases) {
    EXPECT_EQ(IsXmlChar(c), ok) << std::hex << int(c);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
    EXPECT_EQ(ParseError(std::string("<a>&#x") + hex + ";</a>").empty(), ok) << hex;
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // no UTF-8 form
    std::string literal = "<a>" + N(std::u16string(1, c)) + "</a>";
    std::string error = ParseError(literal);
    EXPECT_EQ(error.empty(), ok) << hex;
    if (!ok) {
      EXPECT_EQ(error, std::string("Invalid character : #x0000") + hex) << hex;
    }
  }
}

TEST(XmlChars, name_runs_end_where_the_table_says_for_every_unit) {
  // Each unit at each place of a run long enough for the eight-at-a-time
  // path, and in a short run that the tail loop reads.
  auto slow = [](const char16_t* p, const char16_t* end) {
    while (p < end && IsNCNameChar(*p)) ++p;
    return p;
  };
  for (uint32_t c = 0; c <= 0xFFFF; ++c) {
    for (size_t at : {size_t{0}, size_t{3}, size_t{7}, size_t{8}, size_t{12}}) {
      std::u16string run(20, u'a');
      run[at] = static_cast<char16_t>(c);
      run[15] = u'\u00e9';  // a name character above U+007F after it
      const char16_t* b = run.data();
      ASSERT_EQ(SkipNCNameChars(b, b + run.size()), slow(b, b + run.size())) << std::hex << c << " at " << at;
      ASSERT_EQ(SkipNCNameChars(b, b + 5), slow(b, b + 5)) << std::hex << c << " at " << at;
    }
  }
}
