#include "util/StringUtils.h"

#include <gtest/gtest.h>

using namespace tessel;
using L = TStringListX;

TEST(StringUtils, prefixes_brackets_and_list_lookups) {
  EXPECT_TRUE(StartsWith("abc", "") && StartsWith("", "") && StartsWith("abc", "ab") && EndsWith("abc", "bc"));
  EXPECT_FALSE(StartsWith("ab", "abc") || StartsWith("abc", "Ab") || EndsWith("ab", "abc"));
  const std::pair<const char*, const char*> brackets[] = {
      {"part1", "<part1>"}, {"<part1>", "<part1>"}, {"<x", "<x>"}, {"x>", "<x>"}, {"", "<>"}};
  for (const auto& [in, out] : brackets) EXPECT_EQ(AngleBracket(in), out) << in;
  EXPECT_EQ(IndexOfString("Base64", {"base64", "quoted-printable"}), -1);  // case matters
  EXPECT_EQ(IndexOfString("quoted-printable", {"base64", "quoted-printable"}), 1);
  L list{"a", "b"};
  EXPECT_TRUE(GetListItem(list, -1).empty() && GetListItem(list, 2).empty() && GetListItem(list, 1) == "b");
}

TEST(StringUtils, splits_and_joins) {
  std::string s = "a;b;c";
  EXPECT_EQ(SplitFirst(s, ';'), "a");
  EXPECT_EQ(s, "b;c");
  s = "abc";
  EXPECT_TRUE(SplitFirst(s, ';') == "abc" && s.empty());
  s = ";x";
  EXPECT_TRUE(SplitFirst(s, ';').empty() && s == "x");
  EXPECT_EQ(SplitString(";;a;;b;", ";"), (L{"a", "b"}));  // empty tokens dropped
  EXPECT_EQ(SplitString("a, b", ", "), (L{"a", "b"}));
  EXPECT_EQ(SplitString(" a ", ";"), (L{" a "}));
  EXPECT_TRUE(SplitString("", ";").empty());
  EXPECT_EQ(JoinStrings({"a", "b", "c"}, ", "), "a, b, c");
  EXPECT_EQ(JoinNameValues({"CN=a=b", "O"}, "; ", ": "), "CN: a=b; O: ");
}

TEST(StringUtils, split_quoted_keeps_quotes_and_honours_maximum) {
  EXPECT_EQ(SplitQuoted("a \"b c\" d", " ", "\"", 0), (L{"a", "\"b c\"", "d"}));
  EXPECT_EQ(SplitQuoted("a \"b c\" d", " ", "\"", 2), (L{"a", "\"b c\" d"}));
  EXPECT_EQ(SplitQuoted("a b", " ", "\"", 1), (L{"a b"}));
  EXPECT_EQ(SplitQuoted("a \"b c d", " ", "\"", 0), (L{"a", "\"b c d"}));
  // A quote character only closes the stretch its own kind opened.
  EXPECT_EQ(SplitQuoted("x='a\"b' y", " ", "'\"", -1), (L{"x='a\"b'", "y"}));
  // Every separator counts against the maximum, also one that ends an empty token.
  EXPECT_EQ(SplitQuoted("  a  b  c", " ", "\"", 3), (L{"a  b  c"}));
  EXPECT_EQ(SplitQuoted("a;b;c;d", ";", "", 3), (L{"a", "b", "c;d"}));
}
