// Content header values: main value and parameters, with the scanning rules
// the viewer has always had.
#include <gtest/gtest.h>

#include "mime/Parameters.h"

using namespace tessel;

namespace {

TFieldList Parsed(const std::string& name, const std::string& value) {
  TFieldList params;
  ParseParameters(params, name, value);
  return params;
}

}  // namespace

TEST(Parameters, main_value_and_quoted_parameters) {
  TFieldList p = Parsed(" Content-Type ", "text/plain; charset=\"us-ascii\"; Format = flowed");
  EXPECT_EQ(p.Value("content-type"), "text/plain");
  EXPECT_EQ(p.Value("charset"), "us-ascii");
  EXPECT_EQ(p.Value("format"), "flowed");
  EXPECT_EQ(p.Count(), 3);
}

TEST(Parameters, scanning_quirks) {
  // A leading quote without its partner loses only the leading quote.
  EXPECT_EQ(Parsed("c", "x; a=\"open").Value("a"), "open");
  // Quotes do not protect a ";".
  EXPECT_EQ(Parsed("c", "x; b=\"p;q\"").Value("b"), "p");
  // ";;" puts the separator into the next name.
  TFieldList twice = Parsed("c", "multipart/alternative;; boundary=\"foo\"");
  EXPECT_EQ(twice.Find("boundary"), nullptr);
  EXPECT_EQ(twice.Value("; boundary"), "foo");
  // No "=": a name with an empty value, which is not stored; empty values
  // remove; the later of two wins.
  TFieldList p = Parsed("c", "x; flag; n=1; n=2; m=3; m=");
  EXPECT_EQ(p.Find("flag"), nullptr);
  EXPECT_EQ(p.Value("n"), "2");
  EXPECT_EQ(p.Find("m"), nullptr);
  // An empty main value removes the item of the header itself.
  EXPECT_EQ(Parsed("Content-X", "; a=b").Find("content-x"), nullptr);
  // RFC 2231 names are plain names here.
  EXPECT_EQ(Parsed("c", "x; filename*=utf-8''a%20b").Value("filename*"), "utf-8''a%20b");
}

TEST(FieldList, replace_remove_and_order_beyond_the_scan_limit) {
  TFieldList list;
  for (int i = 0; i < 100; ++i) list.Set("k" + std::to_string(i), "v" + std::to_string(i));
  for (int i = 0; i < 100; i += 2) list.Set("k" + std::to_string(i), "");
  list.Set("k1", "changed");
  list.Set("k0", "back");
  EXPECT_EQ(list.Count(), 51);
  EXPECT_EQ(list.Value("k1"), "changed");
  EXPECT_EQ(list.Find("k2"), nullptr);
  std::vector<TFieldList::TItem> items = list.Items();
  EXPECT_EQ(items.front().Name, "k1");
  EXPECT_EQ(items.back().Name, "k0");
  TFieldList copy = list;
  list.Set("k3", "");
  EXPECT_EQ(copy.Value("k3"), "v3");
  EXPECT_EQ(list.Find("k3"), nullptr);
}
