#include "config/ConfigKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/Exception.h"

using namespace tessel;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(ConfigKeyPath, find_key_empty_dot_and_trailing_separators) {
  TQCKey root;
  TQCKey& a = root.CreateKey("a");
  EXPECT_EQ(root.FindKey(std::string()), &root);
  EXPECT_EQ(root.FindKey("."), &root);
  EXPECT_EQ(root.FindKey("a//"), &a);
  EXPECT_EQ(root.FindKey("a/."), &a);
  EXPECT_EQ(root.FindKey(u"a\\"), &a);
  EXPECT_EQ(root.FindKey("b"), nullptr);
  EXPECT_EQ(root.FindKey("a/b/c"), nullptr);
}

TEST(ConfigKeyPath, leading_separator_starts_at_root) {
  TQCKey root;
  TQCKey& deep = root.OpenKey("p/q/r");
  TQCKey& x = root.CreateKey("x");
  deep.CreateKey("x");
  EXPECT_EQ(deep.FindKey("/x"), &x);
  EXPECT_EQ(deep.FindKey("\\x"), &x);
  EXPECT_EQ(deep.FindKey("/"), &root);
  EXPECT_NE(deep.FindKey("x"), &x);
}

TEST(ConfigKeyPath, parent_segments_and_mixed_separators) {
  TQCKey root;
  TQCKey& b = root.OpenKey("a\\b");
  EXPECT_EQ(root.FindKey("a/b"), &b);
  EXPECT_EQ(b.FindKey(".."), b.Parent());
  EXPECT_EQ(b.FindKey("../../a/b"), &b);
  EXPECT_EQ(b.FindKey("../../.."), nullptr);
  EXPECT_EQ(&b.OpenKey(".."), b.Parent());
}

TEST(ConfigKeyPath, open_key_above_root_fails_but_keeps_earlier_keys) {
  TQCKey root;
  EXPECT_EQ(ErrorOf([&] { root.OpenKey(".."); }), "Key cannot be created");
  EXPECT_EQ(ErrorOf([&] { root.OpenKey("n/../../m"); }), "Key cannot be created");
  EXPECT_NE(root.FindKey("n"), nullptr);
  EXPECT_EQ(root.FindKey("m"), nullptr);
}

TEST(ConfigKeyPath, child_names_match_regardless_of_case_first_wins) {
  TQCKey root;
  TQCKey& options = root.CreateKey("Options");
  TQCKey& second = root.CreateKey("OPTIONS");
  EXPECT_EQ(root.Count(), 2);
  EXPECT_EQ(root.FindKey("options"), &options);
  EXPECT_TRUE(root.KeyExists("OPTIONS"));
  EXPECT_EQ(&root.OpenKey("oPtIoNs"), &options);
  EXPECT_EQ(root.Count(), 2);
  // The second one is reachable only by position.
  EXPECT_EQ(&root.Child(1), &second);
}

TEST(ConfigKeyPath, key_exists_takes_every_segment_literally) {
  TQCKey root;
  root.OpenKey("a/b");
  EXPECT_TRUE(root.KeyExists(""));
  EXPECT_TRUE(root.KeyExists("a//b"));
  EXPECT_TRUE(root.KeyExists("/a\\b/"));
  EXPECT_FALSE(root.KeyExists("./a"));
  EXPECT_FALSE(root.KeyExists("a/../a"));
  root.CreateKey(".").CreateKey("a");
  EXPECT_TRUE(root.KeyExists("./a"));
  EXPECT_FALSE(root.FindKey("a/b")->KeyExists("/a"));
}

TEST(ConfigValuePath, split_rules) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
    bool at;
  } cases[] = {
      {"", "", "", false},
      {"Values", "", "Values", false},
      {"View/AsPanels", "View/AsPanels", "", false},
      {"View\\AsPanels", "View\\AsPanels", "", false},
      {"Options/DumpDirectory@", "Options/DumpDirectory", "", true},
      {"window/placement@W", "window/placement", "W", true},
      {"@L", "", "L", true},
      {"/a@b", "/a", "b", true},
      {"a@b@c", "a", "b@c", true},
  };
  for (const Case& c : cases) {
    std::string key = "junk", value = "junk";
    EXPECT_EQ(SplitValuePath(c.text, key, value), c.at) << c.text;
    EXPECT_EQ(key, c.key) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ConfigValuePath, read_never_creates_write_creates) {
  TQCKey root;
  EXPECT_EQ(root.ReadString("a/b@c"), u"");
  EXPECT_EQ(root.Count(), 0);
  EXPECT_FALSE(root.Modified());
  root.WriteString("a/b@c", u"x");
  TQCKey* b = root.FindKey("a/b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->ReadValue("c"), u"x");
  EXPECT_EQ(b->ReadValue(""), u"");
  EXPECT_EQ(root.ReadString("A/B@C"), u"x");
  root.WriteString("a/b", u"own");
  EXPECT_EQ(b->Value(), u"own");
  root.WriteString("Values", u"Yes;No");
  EXPECT_EQ(root.ReadValue("Values"), u"Yes;No");
  EXPECT_EQ(b->ReadString("/a/b@c"), u"x");
  b->WriteString("@L", u"7");
  EXPECT_EQ(b->ReadInteger("L"), 7);
  b->WriteString("x@y@z", u"deep");
  EXPECT_EQ(b->FindKey("x")->ReadValue("y@z"), u"deep");
}

TEST(ConfigValues, names_are_case_insensitive_and_sorted_unnamed_first) {
  TQCKey k;
  k.WriteValue("W", u"1");
  k.WriteValue("h", u"2");
  k.WriteValue("", u"self");
  k.WriteValue("T", u"3");
  k.WriteValue("w", u"4");
  ASSERT_EQ(k.ValueCount(), 4);
  std::vector<std::string> names;
  for (int32_t i = 0; i < k.ValueCount(); ++i) names.push_back(k.ValueName(i));
  EXPECT_EQ(names, (std::vector<std::string>{"", "h", "T", "W"}));
  EXPECT_EQ(k.ReadValue("W"), u"4");
  EXPECT_EQ(k.Value(), u"self");
  k.DeleteValue("H");
  EXPECT_FALSE(k.HasValue("h"));
  EXPECT_EQ(k.ValueCount(), 3);
}

TEST(ConfigValues, append_creates_then_extends) {
  TQCKey k;
  int changes = 0;
  k.OnChange = [&](TQCKey&) { ++changes; };
  k.AppendValue("", u"ab");
  k.AppendValue("", u"cd");
  k.AppendValue("X", u"1");
  k.AppendValue("x", u"2");
  EXPECT_EQ(k.Value(), u"abcd");
  EXPECT_EQ(k.ReadValue("X"), u"12");
  EXPECT_EQ(changes, 4);
}

TEST(ConfigValues, typed_reads_and_writes) {
  TQCKey k;
  EXPECT_EQ(k.ReadInteger("missing"), 0);
  k.WriteInteger("neg", -2147483647 - 1);
  k.WriteInteger("pos", 480);
  EXPECT_EQ(k.ReadValue("neg"), u"-2147483648");
  EXPECT_EQ(k.ReadInteger("neg"), -2147483647 - 1);
  EXPECT_EQ(k.ReadInteger("pos"), 480);
  k.WriteBool("on", true);
  k.WriteBool("off", false);
  EXPECT_EQ(k.ReadValue("on"), u"1");
  EXPECT_EQ(k.ReadValue("off"), u"0");

  k.WriteValue("minus3", u"-3");
  k.WriteValue("yes", u"Yes");
  k.WriteValue("empty", u"");
  EXPECT_FALSE(k.ReadKeyBool("", "missing"));
  EXPECT_FALSE(k.ReadKeyBool("", "empty"));
  EXPECT_TRUE(k.ReadKeyBool("", "on"));
  EXPECT_TRUE(k.ReadKeyBool("", "minus3"));
  EXPECT_FALSE(k.ReadKeyBool("", "off"));
  EXPECT_FALSE(k.ReadKeyBool("no/such/key", "on"));
  EXPECT_EQ(ErrorOf([&] { k.ReadKeyBool("", "yes"); }), "'Yes' is not a valid integer value");
}

TEST(ConfigValues, integer_text_that_is_not_an_integer_raises) {
  for (const char16_t* bad : {u"-", u"+", u"12a", u" 1", u"1 ", u"2147483648", u"-2147483649", u"0x10", u"1.5"}) {
    TQCKey k;
    k.WriteValue("v", bad);
    EXPECT_THROW(k.ReadInteger("v"), Exception);
    EXPECT_EQ(k.ReadValue("v"), bad);
  }
  EXPECT_EQ(StrToInt(u"+12"), 12);
  EXPECT_EQ(StrToInt(u"-0"), 0);
  EXPECT_EQ(StrToInt(u"2147483647"), 2147483647);
}

TEST(ConfigKeyTree, read_key_value_with_and_without_path) {
  TQCKey root;
  root.WriteString("window/placement@W", u"696");
  root.WriteValue("W", u"root");
  EXPECT_EQ(root.ReadKeyValue("window/placement", "W"), u"696");
  EXPECT_EQ(root.ReadKeyValue("", "W"), u"root");
  EXPECT_EQ(root.ReadKeyValue("window/nothing", "W"), u"");
}

TEST(ConfigKeyTree, create_add_remove_and_move) {
  TQCKey root;
  TQCKey& a = root.CreateKey("a");
  TQCKey& b = root.CreateKey("b");
  root.AddKey(a);  // adding to its own parent moves it to the end
  ASSERT_EQ(root.Count(), 2);
  EXPECT_EQ(&root.Child(0), &b);
  EXPECT_EQ(&root.Child(1), &a);

  b.AddKey(a);
  EXPECT_EQ(root.Count(), 1);
  EXPECT_EQ(a.Parent(), &b);
  EXPECT_EQ(&a.Root(), &root);

  EXPECT_EQ(ErrorOf([&] { root.RemoveKey(a); }), "Key not in list");
  std::unique_ptr<TQCKey> taken = b.RemoveKey(a);
  EXPECT_EQ(taken.get(), &a);
  EXPECT_EQ(a.Parent(), nullptr);
  EXPECT_EQ(b.Count(), 0);
  EXPECT_EQ(ErrorOf([&] { root.AddKey(a); }), "Key not in list");
  TQCKey& back = root.AddKey(std::move(taken));
  EXPECT_EQ(&back, &a);
  EXPECT_EQ(a.Parent(), &root);
}

TEST(ConfigKeyTree, a_key_cannot_become_its_own_descendant) {
  TQCKey root;
  TQCKey& a = root.CreateKey("a");
  TQCKey& c = a.OpenKey("b/c");
  EXPECT_THROW(c.AddKey(a), Exception);
  EXPECT_THROW(a.AddKey(a), Exception);
  EXPECT_EQ(a.Parent(), &root);
  EXPECT_EQ(root.FindKey("a/b/c"), &c);
}

TEST(ConfigChange, write_on_grandchild_reaches_root_bottom_up) {
  TQCKey root;
  TQCKey& child = root.CreateKey("child");
  TQCKey& grandchild = child.CreateKey("grandchild");
  root.SetModified(false);
  EXPECT_FALSE(root.Modified());
  EXPECT_FALSE(child.Modified());
  EXPECT_FALSE(grandchild.Modified());

  std::vector<TQCKey*> fired;
  for (TQCKey* k : {&root, &child, &grandchild}) k->OnChange = [&](TQCKey& sender) { fired.push_back(&sender); };
  grandchild.WriteValue("v", u"1");
  EXPECT_EQ(fired, (std::vector<TQCKey*>{&grandchild, &child, &root}));
  EXPECT_TRUE(root.Modified());
  EXPECT_TRUE(child.Modified());
  EXPECT_TRUE(grandchild.Modified());

  // Writing the same value again is still a change.
  fired.clear();
  grandchild.WriteValue("v", u"1");
  EXPECT_EQ(fired.size(), 3u);
}

TEST(ConfigChange, which_operations_report_changes) {
  TQCKey root;
  int changes = 0;
  root.OnChange = [&](TQCKey&) { ++changes; };

  TQCKey& k = root.CreateKey("k");
  EXPECT_EQ(changes, 2);  // once by attaching, once by creating

  root.SetModified(false);
  changes = 0;
  k.DeleteValue("nothing");
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(root.Modified());

  EXPECT_EQ(root.ReadString("k@x"), u"");
  EXPECT_EQ(root.FindKey("k/none"), nullptr);
  EXPECT_FALSE(root.KeyExists("none"));
  EXPECT_EQ(changes, 0);

  k.WriteValue("x", u"1");
  EXPECT_EQ(changes, 1);
  k.DeleteValue("missing");  // a value map exists now
  EXPECT_EQ(changes, 2);
  root.RemoveKey(k);
  EXPECT_EQ(changes, 3);
}

TEST(ConfigChange, set_modified_true_marks_only_that_key) {
  TQCKey root;
  TQCKey& a = root.CreateKey("a");
  root.SetModified(false);
  a.SetModified(true);
  EXPECT_TRUE(a.Modified());
  EXPECT_FALSE(root.Modified());
  root.SetModified(true);
  root.SetModified(false);
  EXPECT_FALSE(a.Modified());
}
