// The shared foundation: streams, hex text, string helpers, wide-string
// buffers, object lists and error texts.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <tuple>

#include "TestSupport.h"
#include "util/streams/ChainMemoryStream.h"
#include "util/streams/FileStream.h"
#include "util/text/HexText.h"
#include "util/text/ObjectList.h"
#include "util/text/StringUtils.h"
#include "util/text/WStringBuf.h"
#include "util/system/WinError.h"

using namespace tessel;
using L = TStringListX;

namespace {

constexpr int32_t B = TChainMemoryStream::BlockSize;

// The position, its block and offset, and the block's existence agree.
void ExpectAt(TChainMemoryStream& s, int32_t pos) {
  EXPECT_EQ(s.GetPosition(), pos);
  EXPECT_TRUE(s.BlockIndex() * B + s.BlockOffset() == pos && s.BlockOffset() < B && s.BlockIndex() < s.BlockCount());
}

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

TEST(MemoryStreams, short_reads_and_writes_and_copy) {
  char mem[5] = {'a', 'b', 'c', 'd', 'e'}, buf[10];
  TPointerStream p(mem, 4);
  p.Seek(2, soBeginning);
  EXPECT_EQ(p.Write("XYZ", 3), 2);  // cut at the end of its memory
  EXPECT_EQ(std::string(mem, 5), "abXYe");
  EXPECT_THROW(p.WriteBuffer("!", 1), Exception);
  TStringStream s(std::string("hello world")), copy;
  s.Seek(6, soBeginning);
  EXPECT_THROW(s.ReadBuffer(buf, 6), Exception);
  EXPECT_TRUE(copy.CopyFrom(s, 0) == 11 && copy.DataString() == "hello world");  // 0: all of it, from the start
}

TEST(FileStreams, read_only_truncate_and_failures) {
  test::TTempDir temp;
  std::string dir = temp.Path().string() + "/", name = dir + "f.txt", bin = test::Random(300000);
  std::ofstream(name, std::ios::binary) << bin;
  ASSERT_EQ(::chmod(name.c_str(), 0400), 0);
  {
    TFileStream f(name, TFileMode::OpenRead);  // the user may only read it
    EXPECT_TRUE(f.GetSize() == 300000 && f.Write("x", 1) == 0 && ReadFileBytes(name) == bin);
  }
  ::chmod(name.c_str(), 0600);
  {
    TFileStream f(name, TFileMode::Create);  // truncates
    f.Write("new", 3);
    f.SetSize(1);
    f.Close();
    EXPECT_EQ(f.Write("x", 1), 0);  // closed
  }
  EXPECT_EQ(ReadFileBytes(name), "n");
  // Exclusive creation (no existing file, no link followed) is checked with the temporary files.
  std::string missing = test::ErrorOf([&] { TFileStream(dir + "none", TFileMode::OpenRead); });
  EXPECT_EQ(missing, "Exception:Cannot open file \"" + dir + "none\". No such file or directory.");
  EXPECT_THROW(ReadFileBytes(dir), EWinException);  // a directory
  // A read that fails (here at an address the process has not mapped) is
  // an error, not the end of the file.
  EXPECT_EQ(test::ErrorOf([] { ReadFileBytes("/proc/self/mem"); }),
            "Exception:Cannot read file \"/proc/self/mem\". Input/output error.");
}

TEST(ChainMemoryStream, blocks_grow_read_back_in_any_pieces_and_seek_within_data) {
  TChainMemoryStream s;
  char c;
  EXPECT_TRUE(s.GetSize() == 0 && s.BlockCount() == 1 && s.Read(&c, 1) == 0);
  std::string full = test::Random(B), data = test::Random(B * 5 / 2 + 17);
  EXPECT_EQ(s.Write(full.data(), B), B);
  EXPECT_EQ(s.BlockCount(), 2);  // a filled block appends the next at once
  ExpectAt(s, B);
  s.Seek(0, soBeginning);
  for (size_t i = 0; i < data.size(); i += 7)  // small writes across borders
    s.Write(data.data() + i, static_cast<int32_t>(std::min<size_t>(7, data.size() - i)));
  EXPECT_EQ(s.BlockCount(), 3);
  EXPECT_EQ(s.ToString(), data);
  for (int32_t piece : {1, 3, 4096, B - 1, B + 1, 300000}) {
    s.Seek(0, soBeginning);
    std::string back;
    std::vector<char> buf(static_cast<size_t>(piece));
    for (int32_t n; (n = s.Read(buf.data(), piece)) > 0;) back.append(buf.data(), static_cast<size_t>(n));
    EXPECT_EQ(back, data) << piece;
    ExpectAt(s, static_cast<int32_t>(data.size()));
  }
  // Seeking clamps to the data, also at the extremes and across blocks.
  const int32_t size = static_cast<int32_t>(data.size()), back = B * 3 / 2 - 10;
  EXPECT_TRUE(s.Seek(-5, soBeginning) == 0 && s.Seek(10, soEnd) == size && s.Seek(-B - 27, soCurrent) == back);
  ExpectAt(s, back);
  EXPECT_EQ(s.Seek(123, 7), back);  // unknown origin
  EXPECT_TRUE(s.Seek(INT32_MAX, soCurrent) == size && s.Seek(INT32_MIN, soEnd) == 0);
  s.Seek(B - 10, soBeginning);
  ASSERT_EQ(s.Read(&full[0], 20), 20);
  EXPECT_EQ(full.substr(0, 20), data.substr(B - 10, 20));
  // Writing in the middle ends the data there; an empty write does not.
  s.Clear();
  s.Write("0123456789", 10);
  s.Seek(2, soBeginning);
  s.Write("abc", 3);
  EXPECT_EQ(s.ToString(), "01abc");
  s.Seek(1, soBeginning);
  EXPECT_TRUE(s.Write("x", 0) == 0 && s.Write("x", -3) == 0);  // an empty write does not cut the data
  EXPECT_EQ(s.ToString(), "01abc");
  s.Write(test::Random(B * 2).data(), B * 2);
  s.Clear();
  EXPECT_TRUE(s.GetSize() == 0 && s.BlockCount() == 1 && s.Write("hi", 2) == 2 && s.ToString() == "hi");
}

TEST(HexText, separator_maximum_suffix_and_position) {
  // Bytes, start, maximum, separator; the text.
  for (auto [bytes, start, maximum, separator, expect] : {std::tuple{std::string("\x0a\xff"), 0, 0, ':', "0A:FF"},
                                                          {"\x0a\xff", 0, 1, ':', "0A+"},
                                                          {"\x01\x02\x03", 0, 2, ' ', "01 02+"},
                                                          {"\x01\x02", 0, 2, ' ', "01 02"},
                                                          {std::string("\0\x10\xab", 3), 1, 0, '\0', "10AB"},
                                                          {"\x01", 1, 0, ':', ""}}) {
    TStringStream s(bytes);
    s.Seek(start, soBeginning);
    EXPECT_EQ(StreamToHex(s, separator, maximum, "+"), expect) << expect;
  }
  std::string big = test::Random(10000), hex = test::ToHex(big.substr(0, 9000)) + "!";
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  TStringStream s(big);
  EXPECT_EQ(StreamToHex(s, '\0', 9000, "!"), hex);  // more than one read
}

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
  again->AddString(u"handed out");  // the pool goes with buffers still out, as the parser's does
}

TEST(ObjectList, owning_list_frees_each_object_once_even_when_it_removes_itself) {
  int frees = 0;
  {
    TObjectList<TSelfRemoving> list(true);
    for (int i = 0; i < 5; ++i) list.Add(new TSelfRemoving(&list, &frees));
    list.Remove(list.Add(std::make_unique<TSelfRemoving>(nullptr, &frees)));
    EXPECT_TRUE(frees == 1 && list.Count() == 5);
  }
  EXPECT_EQ(frees, 6);
}

// Texts come without a line break inside and with the old CR LF at the edge;
// an unknown code has no text either way.
TEST(WinError, texts_of_system_and_registered_codes) {
  RegisterErrorText(0x80091007u, "The hash value is not correct.");
  const std::pair<uint32_t, const char*> cases[] = {{ENOENT, "No such file or directory."},
                                                    {0, "The operation completed successfully."},
                                                    {0x80091007u, "The hash value is not correct."},
                                                    {0x8FFF0001u, ""},
                                                    {0xFFFFu, ""}};
  for (auto [code, text] : cases) {
    EXPECT_EQ(ErrorText(code), text) << code;
    EXPECT_EQ(GetWinErrorText(code), *text ? text + std::string("\r\n") : "") << code;
  }
}

// The one raiser: what failed, then why, and the code beside them.
TEST(WinError, raised_errors_carry_code_and_cause) {
  const struct {
    const char* Message;
    uint32_t Code;
    const char* What;
  } cases[] = {
      {"Could not open the MY system store.", EACCES, "Could not open the MY system store. Permission denied."},
      {"Could not open", 0x8FFF0001u, "Could not open"},
      {"", ENOENT, "No such file or directory."}};
  for (const auto& c : cases) {
    try {
      RaiseSystemError(c.Message, c.Code);
      ADD_FAILURE() << c.Message;
    } catch (const EWinException& e) {
      EXPECT_EQ(e.ErrorCode, c.Code);
      EXPECT_STREQ(e.what(), c.What);
    }
  }
}
