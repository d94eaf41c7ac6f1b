// Attribute lists, wide-string maps, the key comparison they share, and the
// character classes.
#include <gtest/gtest.h>

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

TEST(xml_attrlist, sorted_without_case_duplicates_refused_and_clear) {
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

TEST(xml_keys, case_folding_order_and_utf8) {
  // Sign of CompareKeys for each pair: "_" comes before the letters, also
  // before capitals; folding covers Latin-1, Latin Extended-A and Cyrillic.
  const std::tuple<std::u16string, std::u16string, int> pairs[] = {
      {u"abc", u"ABC", 0},  {u"_x", u"a", -1},   {u"_x", u"A", -1},
      {u"ab", u"abc", -1},  {u"b", u"Abc", 1},   {u"\u00c9T\u0141", u"\u00e9t\u0142", 0},
      {u"\u0416", u"\u0436", 0}, {u"\u00e9", u"e", 1},
  };
  for (const auto& [a, b, sign] : pairs) {
    int c = CompareKeys(KeyFromWide(a), KeyFromWide(b));
    EXPECT_EQ((c > 0) - (c < 0), sign) << N(a) << " " << N(b);
  }
  // Keys round-trip, lone surrogates included.
  std::u16string odd = u"a\u00e9\u20ac";
  odd += static_cast<char16_t>(0xD800);
  EXPECT_EQ(WideFromKey(KeyFromWide(odd)), odd);
  EXPECT_EQ(KeyFromWide(u"\u00e9"), "\xc3\xa9");
}

TEST(xml_map, put_get_replace_and_remove_without_case) {
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

TEST(xml_chars, names_and_classes) {
  // Digits are ASCII only and the only extender is U+00B7.
  const std::pair<std::u16string, bool> names[] = {
      {u"placement", true}, {u"_a.b-c:d\u00b7", true}, {u":x", true}, {u"\u0436\u0301", true},
      {u"", false}, {u"1st", false}, {u"a b", false}, {u"-a", false}, {u"a\u0660", false}, {u"a\u30fc", false},
  };
  for (const auto& [name, ok] : names) EXPECT_EQ(IsName(name), ok) << N(name);
  EXPECT_TRUE(IsLetter(u'\u4e00'));
  EXPECT_FALSE(IsLetter(u'\u00d7'));
  EXPECT_TRUE(IsXmlChar(u'\t') && IsXmlChar(u'\ufffd'));
  EXPECT_FALSE(IsXmlChar(u'\0') || IsXmlChar(u'\ufffe') || IsXmlChar(static_cast<char16_t>(0xDC00)));
}
