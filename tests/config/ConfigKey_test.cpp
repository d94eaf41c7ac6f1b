#include "config/ConfigKey.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "util/system/Exception.h"

using namespace tessel;

using tessel::test::ErrorOf;

TEST(ConfigKeyPath, find_open_and_exists) {
  TQCKey root;
  TQCKey& a = root.CreateKey("Options");
  root.CreateKey("OPTIONS");  // duplicates are allowed; lookups find the first
  TQCKey& c = a.OpenKey("b\\c");
  TQCKey& b = *c.Parent();
  TQCKey& x = root.CreateKey("x");
  b.CreateKey("x");
  std::map<std::string, TQCKey*> fromRoot = {
      {"", &root}, {".", &root},      {"options//", &a},      {"Options/.", &a}, {"oPtIoNs\\b/c", &c},
      {"/x", &x},  {"nope", nullptr}, {"Options/b/c/..", &b}, {"..", nullptr},   {"Options/../x", &x}};
  for (auto& [path, want] : fromRoot) EXPECT_EQ(root.FindKey(path), want) << path;
  EXPECT_EQ(b.FindKey("/x"), &x);  // a leading separator starts at the root
  EXPECT_EQ(b.FindKey(u"../.."), &root);
  EXPECT_EQ(b.FindKey(u"../../.."), nullptr);
  // OpenKey finds or creates, and fails above the root.
  EXPECT_EQ(&root.OpenKey("OPTIONS\\B/c"), &c);
  EXPECT_EQ(&c.OpenKey(".."), &b);
  EXPECT_EQ(ErrorOf([&] { root.OpenKey(".."); }), "Exception:Key cannot be created");
  EXPECT_EQ(ErrorOf([&] { root.OpenKey("n/../../m"); }), "Exception:Key cannot be created");
  EXPECT_NE(root.FindKey("n"), nullptr);  // made before the failing segment
  EXPECT_EQ(root.FindKey("m"), nullptr);
  // KeyExists takes every segment as a name.
  for (const char* yes : {"", "Options//b", "/OPTIONS\\b/", "x"}) EXPECT_TRUE(root.KeyExists(yes)) << yes;
  for (const char* no : {"./x", "x/../x", "nope", "Options/b/c/d"}) EXPECT_FALSE(root.KeyExists(no)) << no;
  root.CreateKey(".").CreateKey("a");
  EXPECT_TRUE(root.KeyExists("./a"));
}

TEST(ConfigValuePath, split_read_and_write) {
  struct Case {
    const char *text, *key, *value;
    bool at;
  } cases[] = {{"", "", "", false},
               {"Values", "", "Values", false},
               {"View/AsPanels", "View/AsPanels", "", false},
               {"Options/DumpDirectory@", "Options/DumpDirectory", "", true},
               {"window/placement@W", "window/placement", "W", true},
               {"@L", "", "L", true},
               {"/a@b", "/a", "b", true},
               {"a@b@c", "a", "b@c", true}};
  for (const Case& c : cases) {
    std::string key = "junk", value = "junk";
    EXPECT_EQ(SplitValuePath(c.text, key, value), c.at) << c.text;
    EXPECT_EQ(key + "|" + value, std::string(c.key) + "|" + c.value) << c.text;
  }
  TQCKey root;
  EXPECT_EQ(root.ReadString("a/b@c"), u"");
  EXPECT_EQ(root.Count(), 0);  // reading creates nothing
  EXPECT_FALSE(root.Modified());
  root.WriteString("a/b@c", u"x");
  root.WriteString("a/b", u"own");
  TQCKey& b = *root.FindKey("a/b");
  EXPECT_EQ(b.ReadValue("c"), u"x");
  EXPECT_EQ(b.Value(), u"own");
  EXPECT_EQ(b.ReadString("/A/B@C"), u"x");
  b.WriteString("d@e@f", u"deep");
  EXPECT_EQ(b.FindKey("d")->ReadValue("e@f"), u"deep");
}

TEST(ConfigValues, sorted_case_insensitive_and_typed) {
  TQCKey k;
  for (const char* name : {"W", "h", "", "T", "w"}) k.WriteValue(name, u"v");
  std::vector<std::string> names;
  for (int32_t i = 0; i < k.ValueCount(); ++i) names.push_back(k.ValueName(i));
  EXPECT_EQ(names, (std::vector<std::string>{"", "h", "T", "W"}));

  k.WriteInteger("min", -2147483647 - 1);
  EXPECT_EQ(k.ReadValue("min"), u"-2147483648");
  EXPECT_EQ(k.ReadInteger("min"), -2147483647 - 1);
  EXPECT_EQ(k.ReadInteger("missing"), 0);
  k.WriteBool("on", true);
  k.WriteBool("off", false);
  EXPECT_EQ(k.ReadValue("on") + k.ReadValue("off"), u"10");
  std::map<std::u16string, bool> bools = {{u"", false}, {u"1", true}, {u"-3", true}, {u"0", false}};
  for (auto& [text, want] : bools) {
    k.WriteValue("b", text);
    EXPECT_EQ(k.ReadKeyBool("", "b"), want);
  }
  EXPECT_FALSE(k.ReadKeyBool("no/such/key", "on"));
  k.WriteValue("b", u"Yes");
  EXPECT_EQ(ErrorOf([&] { k.ReadKeyBool("", "b"); }), "Exception:'Yes' is not a valid integer value");
  for (const char16_t* bad : {u"-", u" 1", u"2147483648", u"0x10"}) {
    k.WriteValue("i", bad);
    EXPECT_THROW(k.ReadInteger("i"), Exception);
  }
}

TEST(ConfigChange, reaches_every_ancestor_bottom_up) {
  TQCKey root;
  TQCKey& child = root.CreateKey("child");
  TQCKey& grandchild = child.CreateKey("grandchild");
  root.SetModified(false);
  EXPECT_FALSE(grandchild.Modified());
  std::vector<TQCKey*> fired;
  for (TQCKey* k : {&root, &child, &grandchild}) k->OnChange = [&](TQCKey& sender) { fired.push_back(&sender); };
  grandchild.WriteValue("v", u"1");
  EXPECT_EQ(fired, (std::vector<TQCKey*>{&grandchild, &child, &root}));
  EXPECT_TRUE(root.Modified() && child.Modified() && grandchild.Modified());

  root.SetModified(false);
  fired.clear();
  root.CreateKey("never").DeleteValue("x");  // no value map: no change
  EXPECT_EQ(fired.size(), 2u);               // only the creation's two
  grandchild.WriteValue("v", u"1");          // the same value is still a change
  grandchild.DeleteValue("missing");         // a map exists: a change
  EXPECT_EQ(fired.size(), 8u);
}

TEST(ConfigKeyTree, move_remove_and_no_cycles) {
  TQCKey root;
  TQCKey& a = root.CreateKey("a");
  root.CreateKey("b").AddKey(a);  // moves a below b
  EXPECT_EQ(ErrorOf([&] { root.RemoveKey(a); }), "Exception:Key not in list");
  std::unique_ptr<TQCKey> taken = a.Parent()->RemoveKey(a);
  EXPECT_EQ(ErrorOf([&] { root.AddKey(a); }), "Exception:Key not in list");  // nobody could hand it over
  TQCKey& deep = root.AddKey(std::move(taken)).OpenKey("x/y");
  EXPECT_THROW(deep.AddKey(a), Exception);
  EXPECT_EQ(root.FindKey("a/x/y"), &deep);
}
