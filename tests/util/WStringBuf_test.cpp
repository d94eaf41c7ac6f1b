#include "util/WStringBuf.h"

#include <gtest/gtest.h>

#include <set>

#include "util/Exception.h"

using namespace tessel;

TEST(WStringBuf, standalone_holds_its_string) {
  TWStringBuf b(u"h\u00e9llo");
  EXPECT_EQ(b.Length, 5);
  EXPECT_EQ(b.GetValue(), u"h\u00e9llo");
  EXPECT_EQ(b.CharAt(1), u'\u00e9');
  b.Assign(u"xy");
  EXPECT_EQ(b.Length, 2);
  EXPECT_EQ(b.GetValue(), u"xy");
  TWStringBuf e;
  EXPECT_EQ(e.Length, 0);
  EXPECT_EQ(e.GetValue(), u"");
}

TEST(WStringBuf, appends_update_value_only_when_asked) {
  TWStringBuf b;
  b.AddChar(u'a');
  b.AddString(u"bc");
  b.AddString(u"defg", 2);
  b.AddString(u"zz", 0);
  EXPECT_EQ(b.Length, 5);
  EXPECT_EQ(b.GetValue(), u"abcde");
  const std::u16string* first = &b.GetValue();
  b.AddChar(u'!');
  EXPECT_EQ(b.GetValue(), u"abcde!");
  EXPECT_EQ(&b.GetValue(), first);  // the same cached string, rebuilt
  EXPECT_EQ(std::u16string(b.Data(), 6), u"abcde!");
}

TEST(WStringBuf, pop_after_add_reversed_returns_reading_order) {
  TWStringBuf b;
  b.AddReversed(u"abc");
  EXPECT_EQ(b.Length, 3);
  EXPECT_EQ(b.PopChar(), u'a');
  EXPECT_EQ(b.PopChar(), u'b');
  EXPECT_EQ(b.PopChar(), u'c');
  EXPECT_EQ(b.Length, 0);
  EXPECT_EQ(b.GetValue(), u"");
  EXPECT_THROW(b.PopChar(), Exception);
  EXPECT_EQ(b.Length, 0);
}

TEST(WStringBuf, pop_then_write_overwrites) {
  TWStringBuf b;
  b.AddChar(u'x');
  b.AddChar(u'y');
  EXPECT_EQ(b.GetValue(), u"xy");
  EXPECT_EQ(b.PopChar(), u'y');
  EXPECT_EQ(b.GetValue(), u"x");
  b.AddChar(u'z');
  EXPECT_EQ(b.GetValue(), u"xz");
}

TEST(WStringBuf, embedded_nul_cuts_value_not_length) {
  TWStringBuf b;
  b.AddString(std::u16string(u"ab\0cd", 5));
  EXPECT_EQ(b.Length, 5);
  EXPECT_EQ(b.GetValue(), u"ab");
  EXPECT_EQ(b.CharAt(3), u'c');
  b.Clear();
  EXPECT_EQ(b.Length, 0);
  EXPECT_EQ(b.GetValue(), u"");
}

TEST(WSBufFactory, grows_in_batches_of_five) {
  TWSBufFactory pool;
  std::set<TWStringBuf*> seen;
  for (int i = 0; i < 5; ++i) seen.insert(pool.GetBuffer());
  EXPECT_EQ(pool.AllCount(), 5);
  EXPECT_EQ(pool.FreeCount(), 0);
  TWStringBuf* sixth = pool.GetBuffer();
  EXPECT_EQ(pool.AllCount(), 10);
  EXPECT_EQ(pool.FreeCount(), 4);
  EXPECT_EQ(seen.count(sixth), 0u);
}

TEST(WSBufFactory, buffers_come_back_cleared) {
  TWSBufFactory pool;
  TWStringBuf* b = pool.GetBuffer();
  b->AddString(u"left over");
  b->Release();
  EXPECT_EQ(pool.FreeCount(), 5);
  // The released buffer is last in line; take every free one.
  TWStringBuf* again = nullptr;
  for (int i = 0; i < 5; ++i) again = pool.GetBuffer();
  EXPECT_EQ(again, b);
  EXPECT_EQ(again->Length, 0);
  EXPECT_EQ(again->GetValue(), u"");
  EXPECT_EQ(pool.AllCount(), 5);
}

TEST(WSBufFactory, double_release_raises_and_leaves_pool) {
  TWSBufFactory pool;
  TWStringBuf* b = pool.GetBuffer();
  b->Release();
  int32_t freeBefore = pool.FreeCount();
  try {
    b->Release();
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Buffer already released");
  }
  EXPECT_EQ(pool.FreeCount(), freeBefore);
  TWSBufFactory other;
  TWStringBuf* foreign = other.GetBuffer();
  EXPECT_THROW(pool.Release(foreign), Exception);
}

TEST(WSBufFactory, freeing_buffers_and_pool) {
  auto pool = std::make_unique<TWSBufFactory>();
  TWStringBuf* a = pool->GetBuffer();
  TWStringBuf* b = pool->GetBuffer();
  b->Release();
  // A pooled buffer freed on its own leaves both lists.
  delete a;
  EXPECT_EQ(pool->AllCount(), 4);
  EXPECT_EQ(pool->FreeCount(), 4);
  pool->GetBuffer()->AddString(u"handed out");
  // Freeing the pool frees handed-out and free buffers alike (a leak or a
  // double free shows under the address sanitizer).
  pool.reset();
  // A stand-alone buffer frees itself on release.
  auto* solo = new TWStringBuf(u"solo");
  solo->Release();
}

TEST(WideString, carries_its_value) {
  TWideString w(u"text");
  EXPECT_EQ(w.Value, u"text");
}
