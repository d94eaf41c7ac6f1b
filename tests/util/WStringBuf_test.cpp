#include "util/WStringBuf.h"

#include <gtest/gtest.h>

#include "util/Exception.h"

using namespace tessel;

TEST(WStringBuf, value_follows_appends_pops_and_assign) {
  TWStringBuf b(u"h\u00e9");
  b.AddChar(u'l');
  b.AddString(u"lo");
  b.AddString(u"!?", 1);
  EXPECT_TRUE(b.Length == 6 && b.GetValue() == u"h\u00e9llo!" && b.CharAt(1) == u'\u00e9');
  EXPECT_EQ(b.PopChar(), u'!');
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

TEST(WSBufFactory, grows_by_five_reuses_cleared_buffers_and_refuses_double_release) {
  TWSBufFactory pool, other;
  TWStringBuf* first = pool.GetBuffer();
  for (int i = 0; i < 4; ++i) pool.GetBuffer();
  EXPECT_TRUE(pool.AllCount() == 5 && pool.FreeCount() == 0);
  pool.GetBuffer();
  EXPECT_TRUE(pool.AllCount() == 10 && pool.FreeCount() == 4);
  first->AddString(u"left over");
  first->Release();
  try {
    first->Release();
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Buffer already released");
  }
  EXPECT_EQ(pool.FreeCount(), 5);
  EXPECT_THROW(pool.Release(other.GetBuffer()), Exception);
  TWStringBuf* again = nullptr;
  for (int i = 0; i < 5; ++i) again = pool.GetBuffer();  // the released one is last in line
  EXPECT_EQ(again, first);
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
