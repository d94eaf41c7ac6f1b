// Qualified names, attribute lists, wide-string maps, binding stacks and the
// key comparison they share.
#include <gtest/gtest.h>

#include "XmlTestUtil.h"
#include "xml/QXMLUtils.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

TQName Q(const char* name) {
  TQName q;
  MakeSimpleQName(W(name), q);
  return q;
}

std::string Order(const TAttrList& list) {
  std::string s;
  for (int32_t i = 0; i < list.Count(); ++i) s += (i ? "," : "") + N(list.Items(i)->Name.QualifiedName);
  return s;
}

}  // namespace

TEST(xml_qname, qualified_and_expanded_names) {
  TQName q;
  MakeQName("urn:x", u"p", u"a", q);
  EXPECT_EQ(N(q.QualifiedName), "p:a");
  EXPECT_EQ(N(q.ExpandedName), "a:urn:x");
  EXPECT_EQ(q.NamespaceURI, "urn:x");
  MakeQName("", u"", u"a", q);
  EXPECT_EQ(N(q.QualifiedName), "a");
  EXPECT_EQ(N(q.ExpandedName), "a");
  EXPECT_TRUE(q.Prefix.empty());
  MakeQName("urn:\xc3\xa9", u"p", u"", q);  // a namespace name in UTF-8
  EXPECT_EQ(q.QualifiedName, u"p");
  EXPECT_EQ(q.ExpandedName, u":urn:\u00e9");
  MakeSimpleQName(u"x:y", q);
  EXPECT_EQ(q.LocalName, u"x:y");
  EXPECT_TRUE(q.Prefix.empty() && q.NamespaceURI.empty());
}

TEST(xml_attrlist, sorted_without_case_and_duplicates_refused) {
  TAttrList list;
  list.Add(Q("name"), u"1");
  list.Add(Q("Values"), u"2");
  list.Add(Q("default"), u"3");
  EXPECT_EQ(Order(list), "default,name,Values");
  EXPECT_THROW(list.Add(Q("NAME"), u"x"), EDuplicateKey);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(N(list.GetValue(u"Name")), "1");
  EXPECT_EQ(list.GetValue(u"missing"), u"");

  TAttrList other;
  other.Add(Q("a"), u"v");
  try {
    other.Add(Q("A"), u"w");
    FAIL() << "duplicate accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  other.AddCopy(*list.Items(0));
  EXPECT_EQ(Order(other), "a,default");
  EXPECT_EQ(N(other.Items(1)->Value), "3");
}

TEST(xml_attrlist, clear_without_freeing_leaves_the_attributes_to_the_caller) {
  TAttribute kept(Q("k"), u"v");
  TAttrList list;
  list.AddAttribute(&kept);
  list.Clear(false);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(kept.Value, u"v");  // not freed (a double free would crash under ASan)
  list.Add(Q("owned"), u"x");   // freed by the list's destructor
}

TEST(xml_keys, case_folding_order_and_utf8) {
  EXPECT_EQ(CompareKeys("abc", "ABC"), 0);
  EXPECT_LT(CompareKeys("_x", "a"), 0);  // "_" before the letters, also before capitals
  EXPECT_LT(CompareKeys("_x", "A"), 0);
  EXPECT_LT(CompareKeys("ab", "abc"), 0);
  EXPECT_GT(CompareKeys("b", "Abc"), 0);
  EXPECT_EQ(CompareKeys(KeyFromWide(u"\u00c9T\u0141"), KeyFromWide(u"\u00e9t\u0142")), 0);
  EXPECT_EQ(CompareKeys(KeyFromWide(u"\u0416"), KeyFromWide(u"\u0436")), 0);
  EXPECT_NE(CompareKeys(KeyFromWide(u"\u00e9"), "e"), 0);
  // Keys round-trip, lone surrogates included.
  std::u16string odd = u"a\u00e9\u20ac";
  odd += static_cast<char16_t>(0xD800);
  EXPECT_EQ(WideFromKey(KeyFromWide(odd)), odd);
  EXPECT_EQ(KeyFromWide(u"\u00e9"), "\xc3\xa9");
}

TEST(xml_map, put_get_replace_without_case) {
  TWideStringMap map;
  map.Put(u"x", u"1");
  map.Put(u"X", u"2");
  EXPECT_EQ(map.Count(), 1);
  EXPECT_EQ(map.Keys(0), "x");
  EXPECT_EQ(map.Get(u"X"), u"2");
  EXPECT_TRUE(map.Contains("x"));
  EXPECT_EQ(map.Get(u"none"), u"");
  map.Put(u"b", u"3");
  map.Put(std::string(""), u"unnamed");
  EXPECT_EQ(map.WideKeys(0), u"");  // the empty name sorts first
  EXPECT_EQ(map.Values(1), u"3");
  // Overwriting leaves the reverse entry of the old value in place.
  EXPECT_EQ(map.ReverseMap()->Get(u"1"), u"x");
  EXPECT_EQ(map.ReverseMap()->Get(u"2"), u"X");
}

TEST(xml_map, remove_takes_the_reverse_entry_only_when_it_names_the_key) {
  TWideStringMap map;
  map.Put(u"k", u"v");
  map.Remove(u"k");
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.ReverseMap()->Count(), 0);

  map.Put(u"a", u"same");
  map.Put(u"b", u"same");  // reverse: same -> b
  map.Remove(u"a");
  EXPECT_EQ(map.ReverseMap()->Get(u"same"), u"b");
  map.Remove(u"missing");
  map.RemoveAt(0);
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.ReverseMap()->Count(), 0);

  map.Put(u"p", u"1");
  map.Put(u"q", u"2");
  map.Clear();
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.ReverseMap()->Count(), 0);

  TBaseWideStringMap plain;
  plain.Put(u"a", u"1");
  EXPECT_EQ(plain.ReverseMap(), nullptr);
}

TEST(xml_bindings, push_pop_top_and_underflow) {
  TBindingStack stack;
  stack.Push(u"xmlns:p", std::make_unique<TWideString>(u"urn:1"));
  stack.Push(u"xmlns:p", std::make_unique<TWideString>(u"urn:2"));
  stack.Push(u"xmlns", std::make_unique<TWideString>(u"urn:d"));
  EXPECT_EQ(stack.Top(u"xmlns:p")->Value, u"urn:2");
  EXPECT_EQ(stack.Pop(u"xmlns:p")->Value, u"urn:2");
  EXPECT_EQ(stack.Top(u"xmlns:p")->Value, u"urn:1");
  EXPECT_EQ(stack.Top(u"xmlns:P"), nullptr);  // prefixes are compared exactly
  try {
    (void)stack.Pop(u"never");
    FAIL() << "no underflow";
  } catch (const EStackUnderflow& e) {
    EXPECT_EQ(e.Message(), "never");
  }
  // Every prefix asked for stays, in ordinal order.
  ASSERT_EQ(stack.Count(), 4);
  EXPECT_EQ(stack.Items(0).Prefix, u"never");
  EXPECT_EQ(stack.Items(1).Prefix, u"xmlns");
  EXPECT_EQ(stack.Items(2).Prefix, u"xmlns:P");
  EXPECT_EQ(stack.Items(3).Prefix, u"xmlns:p");
  EXPECT_TRUE(stack.Items(0).Stack.empty());
}

TEST(xml_chars, names_and_classes) {
  EXPECT_TRUE(IsName(u"placement"));
  EXPECT_TRUE(IsName(u"_a.b-c:d\u00b7"));
  EXPECT_TRUE(IsName(u":x"));
  EXPECT_TRUE(IsName(u"\u0436\u0301"));  // Cyrillic letter, combining accent
  EXPECT_FALSE(IsName(u""));
  EXPECT_FALSE(IsName(u"1st"));
  EXPECT_FALSE(IsName(u"a b"));
  EXPECT_FALSE(IsName(u"-a"));
  // Digits are ASCII only and the only extender is U+00B7.
  EXPECT_FALSE(IsName(u"a\u0660"));
  EXPECT_FALSE(IsName(u"a\u30fc"));
  EXPECT_TRUE(IsLetter(u'\u4e00'));
  EXPECT_FALSE(IsLetter(u'\u00d7'));
  EXPECT_TRUE(IsXmlChar(u'\t') && IsXmlChar(u'\ufffd'));
  EXPECT_FALSE(IsXmlChar(u'\0') || IsXmlChar(u'\ufffe') || IsXmlChar(static_cast<char16_t>(0xDC00)));
}
