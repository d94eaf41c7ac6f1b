// The small shared pieces: string helpers, wide-string buffers, object
// lists and error texts.
#include <cerrno>

#include <gtest/gtest.h>

#include "CodecTestSupport.h"
#include "util/ObjectList.h"
#include "util/StringUtils.h"
#include "util/WStringBuf.h"
#include "util/WinError.h"

using namespace tessel;
using L = TStringListX;

namespace {

// An object that leaves its list when freed, like a body part leaving its
// parent's children.
struct TSelfRemoving {
  TSelfRemoving(TObjectList<TSelfRemoving>* list, int* frees) : List(list), Frees(frees) {}
  ~TSelfRemoving() {
    ++*Frees;
    if (List) List->Extract(this);
  }
  TObjectList<TSelfRemoving>* List;
  int* Frees;
};

}  // namespace

TEST(StringUtils, splits_drop_empty_tokens_keep_quotes_and_honour_maximum) {
  EXPECT_EQ(SplitString(";;a;;b;", ";"), (L{"a", "b"}));
  EXPECT_EQ(SplitString("a, b", ", "), (L{"a", "b"}));
  EXPECT_EQ(JoinNameValues({"CN=a=b", "O"}, "; ", ": "), "CN: a=b; O: ");
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

TEST(WStringBuf, value_follows_appends_pops_and_assign) {
  TWStringBuf b(u"h\u00e9");
  b.AddString(u"llo!?", 4);
  EXPECT_TRUE(b.Length == 6 && b.GetValue() == u"h\u00e9llo!" && b.CharAt(1) == u'\u00e9' && b.PopChar() == u'!');
  b.AddChar(u'w');  // overwrites the popped unit
  EXPECT_EQ(b.GetValue(), u"h\u00e9llow");
  b.Assign(u"xy");
  EXPECT_TRUE(b.Length == 2 && b.GetValue() == u"xy");
  b.Clear();
  b.AddString(std::u16string(u"ab\0cd", 5));  // an embedded U+0000 cuts the value, not Length
  EXPECT_TRUE(b.Length == 5 && b.GetValue() == u"ab" && b.CharAt(3) == u'c');
  b.Clear();
  b.AddReversed(u"abc");  // pops in reading order
  EXPECT_TRUE(b.PopChar() == u'a' && b.PopChar() == u'b' && b.PopChar() == u'c' && b.Length == 0);
  EXPECT_THROW(b.PopChar(), Exception);  // never reads before the data
  EXPECT_EQ(b.Length, 0);
}

TEST(WSBufFactory, released_buffers_come_back_cleared_and_double_release_raises) {
  TWSBufFactory pool, other;
  TWStringBuf* first = pool.GetBuffer();
  first->AddString(u"left over");
  first->Release();
  EXPECT_EQ(test::ErrorOf([&] { first->Release(); }), "Exception:Buffer already released");
  EXPECT_THROW(pool.Release(other.GetBuffer()), Exception);
  TWStringBuf* again = nullptr;
  for (int i = 0; i < 10 && again != first; ++i) again = pool.GetBuffer();
  ASSERT_EQ(again, first);
  EXPECT_TRUE(again->Length == 0 && again->GetValue().empty());
}

// Leaks or double frees here show under the address sanitizer.
TEST(WSBufFactory, freeing_buffers_and_pool) {
  auto pool = std::make_unique<TWSBufFactory>();
  TWStringBuf* a = pool->GetBuffer();
  pool->GetBuffer()->Release();
  delete a;  // leaves both lists
  EXPECT_TRUE(pool->AllCount() == 4 && pool->FreeCount() == 4);
  pool->GetBuffer()->AddString(u"handed out");
  pool.reset();
  (new TWStringBuf(u"solo"))->Release();  // a stand-alone buffer frees itself
}

TEST(ObjectList, owning_list_frees_each_object_once_even_when_it_removes_itself) {
  int frees = 0;
  {
    TObjectList<TSelfRemoving> list(true);
    for (int i = 0; i < 5; ++i) list.Add(new TSelfRemoving(&list, &frees));
    auto* p = list.Add(std::make_unique<TSelfRemoving>(nullptr, &frees));
    EXPECT_EQ(list.IndexOf(p), 5);
    list.Remove(p);
    EXPECT_TRUE(frees == 1 && list.Count() == 5);
  }
  EXPECT_EQ(frees, 6);
}

TEST(WinError, texts_of_system_and_registered_codes_end_with_line_break) {
  std::string text = GetWinErrorText(ENOENT);
  EXPECT_NE(text.find("No such file or directory"), std::string::npos);
  EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n");
  RegisterErrorText(0x80091007u, "The hash value is not correct.");
  EXPECT_EQ(GetWinErrorText(0x80091007u), "The hash value is not correct.\r\n");
  EXPECT_EQ(GetWinErrorText(0x8FFF0001u), "");
}

TEST(WinError, raised_errors_carry_last_code_and_cause) {
  SetLastError(ENOENT);
  try {
    RaiseWinError("Could not open");
    FAIL();
  } catch (const EWinException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(ENOENT));
    EXPECT_STREQ(e.what(), "Could not open");
  }
  SetLastError(EACCES);
  EXPECT_EQ(test::ErrorOf([] { RaiseLastError("Could not open the MY system store."); }),
            "Exception:Could not open the MY system store. Permission denied.");
}
