#include "util/StringUtils.h"

#include <gtest/gtest.h>

using namespace tessel;

TEST(StringUtils, prefix_and_suffix_tests) {
  EXPECT_TRUE(StartsWith("abc", ""));
  EXPECT_TRUE(StartsWith("", ""));
  EXPECT_TRUE(StartsWith("abc", "ab"));
  EXPECT_FALSE(StartsWith("ab", "abc"));
  EXPECT_FALSE(StartsWith("abc", "Ab"));
  EXPECT_TRUE(EndsWith("abc", "bc"));
  EXPECT_FALSE(EndsWith("ab", "abc"));
}

TEST(StringUtils, angle_bracket_adds_only_missing_brackets) {
  EXPECT_EQ(AngleBracket("part1"), "<part1>");
  EXPECT_EQ(AngleBracket("<part1>"), "<part1>");
  EXPECT_EQ(AngleBracket("<x"), "<x>");
  EXPECT_EQ(AngleBracket("x>"), "<x>");
  EXPECT_EQ(AngleBracket(""), "<>");
}

TEST(StringUtils, split_first_cuts_at_first_separator) {
  std::string s = "a;b;c";
  EXPECT_EQ(SplitFirst(s, ';'), "a");
  EXPECT_EQ(s, "b;c");
  s = "abc";
  EXPECT_EQ(SplitFirst(s, ';'), "abc");
  EXPECT_EQ(s, "");
  s = ";x";
  EXPECT_EQ(SplitFirst(s, ';'), "");
  EXPECT_EQ(s, "x");
}

TEST(StringUtils, split_string_drops_empty_tokens) {
  EXPECT_EQ(SplitString(";;a;;b;", ";"), (TStringListX{"a", "b"}));
  EXPECT_EQ(SplitString("a, b", ", "), (TStringListX{"a", "b"}));
  EXPECT_TRUE(SplitString("", ";").empty());
  EXPECT_EQ(SplitString(" a ", ";"), (TStringListX{" a "}));
}

TEST(StringUtils, split_quoted_keeps_quotes_and_honours_maximum) {
  EXPECT_EQ(SplitQuoted("a \"b c\" d", " ", "\"", 0), (TStringListX{"a", "\"b c\"", "d"}));
  EXPECT_EQ(SplitQuoted("a \"b c\" d", " ", "\"", 2), (TStringListX{"a", "\"b c\" d"}));
  EXPECT_EQ(SplitQuoted("a b", " ", "\"", 1), (TStringListX{"a b"}));
  EXPECT_EQ(SplitQuoted("a \"b c d", " ", "\"", 0), (TStringListX{"a", "\"b c d"}));
  // A quote character only closes the stretch its own kind opened.
  EXPECT_EQ(SplitQuoted("x='a\"b' y", " ", "'\"", -1), (TStringListX{"x='a\"b'", "y"}));
  // Every separator counts against the maximum, also one that ends an empty token.
  EXPECT_EQ(SplitQuoted("  a  b  c", " ", "\"", 3), (TStringListX{"a  b  c"}));
  EXPECT_EQ(SplitQuoted("a;b;c;d", ";", "", 3), (TStringListX{"a", "b", "c;d"}));
}

TEST(StringUtils, joins) {
  EXPECT_EQ(JoinStrings({"a", "b", "c"}, ", "), "a, b, c");
  EXPECT_EQ(JoinStrings({}, ", "), "");
  EXPECT_EQ(JoinNameValues({"OU=x", "OU=y"}, ", ", "="), "OU=x, OU=y");
  EXPECT_EQ(JoinNameValues({"CN=a=b", "O"}, "; ", ": "), "CN: a=b; O: ");
}

TEST(StringUtils, index_and_list_item) {
  EXPECT_EQ(IndexOfString("Base64", {"base64", "quoted-printable"}), -1);
  EXPECT_EQ(IndexOfString("quoted-printable", {"base64", "quoted-printable"}), 1);
  TStringListX list{"a", "b"};
  EXPECT_EQ(GetListItem(list, -1), "");
  EXPECT_EQ(GetListItem(list, 2), "");
  EXPECT_EQ(GetListItem(list, 1), "b");
  EXPECT_EQ(Min(-3, 2), -3);
  EXPECT_EQ(Max(-3, 2), 2);
}
