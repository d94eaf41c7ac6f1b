#include "util/Charsets.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "util/EightBitCodec.h"
#include "util/MemoryStream.h"
#include "util/Utf8Codec.h"

using namespace tessel;

namespace {

const char* const kAllNames[] = {"", "us-ascii", "iso-8859-1", "iso-8859-2", "iso-8859-3", "iso-8859-4",
                                 "iso-8859-5", "iso-8859-6", "iso-8859-7", "iso-8859-8", "iso-8859-9",
                                 "iso-8859-10", "iso-8859-11", "iso-8859-13", "iso-8859-14", "iso-8859-15",
                                 "iso-8859-16", "cp-1250", "windows-1250", "utf-8", "utf-7", "widestring",
                                 "utf-16le", "utf-16be"};

// What reading bytes unit by unit gives: the units, or the exception's kind
// and message after the units read before it.
struct TOutcome {
  std::u16string Units;
  std::string Error;
};

TOutcome ReadUnits(const std::string& charset, const std::string& bytes) {
  TOutcome o;
  auto* stream = new TStringStream(bytes);
  std::unique_ptr<TCharReader> r = CreateCharReader(charset, stream);
  if (!r) {
    delete stream;
    o.Error = "no reader";
    return o;
  }
  try {
    while (!r->Eof()) o.Units.push_back(r->ReadChar());
  } catch (const EIllegalChar& e) {
    o.Error = std::string("EIllegalChar:") + e.what();
  } catch (const Exception& e) {
    o.Error = std::string("Exception:") + e.what();
  }
  return o;
}

std::u16string ReadAll(const std::string& charset, const std::string& bytes) {
  TOutcome o = ReadUnits(charset, bytes);
  EXPECT_EQ(o.Error, "") << charset;
  return o.Units;
}

std::string ErrorOf(const std::string& charset, const std::string& bytes) { return ReadUnits(charset, bytes).Error; }

std::string WriteAll(const std::string& charset, const std::u16string& ws) {
  TStringStream stream;
  {
    std::unique_ptr<TCharWriter> w = CreateCharWriter(charset, &stream);
    w->OwnsStream = false;
    w->WriteString(ws);
  }  // freeing the writer flushes it
  return stream.DataString();
}

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

class TCountingStream : public TStringStream {
public:
  explicit TCountingStream(int* freed) : Freed_(freed) {}
  ~TCountingStream() override { ++*Freed_; }

private:
  int* Freed_;
};

}  // namespace

// --- registry ---------------------------------------------------------------

TEST(CharsetRegistry, lookup_is_exact_after_lower_casing) {
  auto a = FindCharReader("ISO-8859-2");
  auto b = FindCharReader("iso-8859-2");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->Name, "iso-8859-2");
  EXPECT_EQ(a->Stream, nullptr);
  EXPECT_TRUE(a->OwnsStream);
  for (const char* missing : {" iso-8859-2", "iso-8859-2 ", "latin2", "iso-8859-12", "ucs-4", "utf-16", "cp1250",
                              "utf8", "x-unknown"})
    EXPECT_EQ(FindCharReader(missing), nullptr) << missing;
  for (const char* name : kAllNames) {
    EXPECT_NE(FindCharReader(name), nullptr) << name;
    EXPECT_NE(FindCharWriter(name), nullptr) << name;
  }
}

TEST(CharsetRegistry, codec_names) {
  EXPECT_EQ(FindCharReader("utf-8")->Name, "UTF-8");
  EXPECT_EQ(FindCharWriter("UTF-8")->Name, "UTF-8");
  EXPECT_EQ(FindCharReader("utf-7")->Name, "UTF-7");
  EXPECT_EQ(FindCharWriter("utf-7")->Name, "UTF-7");
  EXPECT_EQ(FindCharReader("widestring")->Name, "widestring");
  EXPECT_EQ(FindCharWriter("widestring")->Name, "widestring");
  EXPECT_EQ(FindCharReader("UTF-16LE")->Name, "UTF-16LE");
  EXPECT_EQ(FindCharWriter("utf-16be")->Name, "UTF-16BE");
  EXPECT_EQ(FindCharReader("")->Name, "");
  EXPECT_EQ(FindCharWriter("Windows-1250")->Name, "windows-1250");
  EXPECT_EQ(FindCharWriter("CP-1250")->Name, "cp-1250");
}

TEST(CharsetRegistry, unknown_writer_falls_back_to_latin2) {
  auto w = FindCharWriter("koi8-r");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Name, "iso-8859-2");
  EXPECT_EQ(WriteAll("koi8-r", u"\u0160\u00E9"), "\xA9\xE9");
  EXPECT_EQ(CreateCharReader("koi8-r", nullptr), nullptr);
  EXPECT_EQ(CharsetToWide("koi8-r", "a"), std::nullopt);
  EXPECT_EQ(CharsetToUtf8("koi8-r", "a"), std::nullopt);
}

TEST(CharsetRegistry, registration_replaces_by_lower_cased_name) {
  char16_t table[256];
  for (int b = 0; b < 256; ++b) table[b] = static_cast<char16_t>(b);
  table[0x41] = u'\u0411';
  RegisterCharset(std::make_unique<T8bitReader>("X-Test", table), std::make_unique<T8bitWriter>("X-Test", table));
  EXPECT_EQ(FindCharReader("x-test")->Name, "X-Test");
  EXPECT_EQ(ReadAll("X-TEST", "A"), u"\u0411");
  table[0x41] = u'\u0412';
  RegisterCharset("x-test", std::make_unique<T8bitReader>("other", table), nullptr);
  EXPECT_EQ(ReadAll("x-test", "A"), u"\u0412");
  EXPECT_EQ(WriteAll("x-test", u"\u0411"), "A");  // the writer stayed
  RegisterCharset<TUTF8Reader, TUTF8Writer>("X-Eight");
  EXPECT_EQ(FindCharReader("x-eight")->Name, "UTF-8");
  EXPECT_EQ(CharsetToWide("x-eight", "\xC3\xA9"), u"\u00E9");
}

TEST(CharsetRegistry, stream_ownership) {
  int freed = 0;
  {
    auto r = CreateCharReader("utf-8", new TCountingStream(&freed));
    r->SetStream(r->Stream);  // the same stream: kept
    EXPECT_EQ(freed, 0);
    r->SetStream(new TCountingStream(&freed));  // the owned one goes
    EXPECT_EQ(freed, 1);
  }
  EXPECT_EQ(freed, 2);
  TCountingStream kept(&freed);
  {
    auto w = CreateCharWriter("utf-8", &kept);
    w->OwnsStream = false;
    w->WriteChar(u'x');
  }
  EXPECT_EQ(freed, 2);
  EXPECT_EQ(kept.DataString(), "x");
}

// --- 8-bit ------------------------------------------------------------------

TEST(CharsetEightBit, table_positions) {
  EXPECT_EQ(ReadAll("iso-8859-15", "\xA4"), u"\u20AC");
  EXPECT_EQ(ReadAll("iso-8859-1", "\xA4"), u"\u00A4");
  EXPECT_EQ(ReadAll("iso-8859-7", "\xA4\xA5\xAA\xA1"), u"\u00A4\u00A5\u00AA\u2018");
  EXPECT_EQ(ReadAll("iso-8859-8", "\xDF\xFD\xFE\xD7"), u"\u2017\u200E\u200F\u00D7");
  EXPECT_EQ(ReadAll("iso-8859-2", "\xA9\xB9"), u"\u0160\u0161");
  EXPECT_EQ(ReadAll("", "\xE9\x80"), u"\u00E9\u0080");
  EXPECT_EQ(ReadAll("us-ascii", "\x80\xFF"), u"\u0080\u00FF");
  EXPECT_EQ(ReadAll("cp-1250", "\x8A"), u"\u0160");
}

TEST(CharsetEightBit, unreadable_bytes_raise_empty_message) {
  for (const char* name : {"iso-8859-1", "iso-8859-2", "us-ascii", "", "windows-1250"})
    EXPECT_EQ(ErrorOf(name, std::string("a\0", 2)), "EIllegalChar:") << name;
  for (int b : {0x81, 0x83, 0x88, 0x90, 0x98}) EXPECT_EQ(ErrorOf("windows-1250", Bytes({b})), "EIllegalChar:");
  TOutcome o = ReadUnits("windows-1250", "ab\x81z");
  EXPECT_EQ(o.Units, u"ab");
}

TEST(CharsetEightBit, writer_lookup) {
  EXPECT_EQ(WriteAll("iso-8859-1", u"a\u20ACb"), "ab");  // no byte: skipped
  EXPECT_FALSE(FindCharWriter("iso-8859-1")->CanWrite(u'\u20AC'));
  EXPECT_EQ(WriteAll("windows-1250", u"\u20AC"), "\x80");
  EXPECT_TRUE(FindCharWriter("windows-1250")->CanWrite(u'\u20AC'));
  // Several bytes read as U+0000 (or U+00D7); the defined byte is written.
  EXPECT_EQ(WriteAll("windows-1250", std::u16string(1, u'\0')), std::string(1, '\0'));
  EXPECT_EQ(WriteAll("iso-8859-8", u"\u00D7"), "\xAA");
  EXPECT_EQ(WriteAll("iso-8859-7", u"\u00A4\u20AC"), "\xA4");
  EXPECT_EQ(WriteAll("iso-8859-2", u"\u0160\uFFFF"), "\xA9");
}

// --- UTF-8 ------------------------------------------------------------------

TEST(CharsetUtf8, reads_sequences_up_to_four_bytes) {
  EXPECT_EQ(ReadAll("utf-8", "\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(ReadAll("utf-8", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"), u"\u007F\u0080\u07FF\u0800\uFFFF");
  EXPECT_EQ(ReadAll("utf-8", "\xF0\x9F\x98\x80!"), u"\U0001F600!");
  EXPECT_EQ(ReadAll("utf-8", "\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(ReadAll("utf-8", std::string("\0", 1)), std::u16string(1, u'\0'));
  // Surrogates in three-byte form come back as they are.
  EXPECT_EQ(ReadAll("utf-8", "\xED\xA0\x80"), u"\xD800");
  EXPECT_EQ(ReadAll("utf-8", "\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
}

TEST(CharsetUtf8, malformed_input_messages) {
  const std::string bad = "EIllegalChar:Illegal character";
  const std::string lead = "EIllegalChar:Illegar UTF-8 character beginning with #x";
  struct {
    std::string In;
    std::string Error;
  } cases[] = {
      {"\x80", lead + "80"},
      {"\xBF", lead + "BF"},
      {"\xFE", lead + "FE"},
      {"\xff", lead + "FF"},
      {"\xC0\x80", bad},              // overlong NUL
      {"\xC1\xBF", bad},              // overlong DEL
      {"\xE0\x9F\xBF", bad},          // overlong U+07FF
      {"\xF0\x8F\xBF\xBF", bad},      // overlong U+FFFF
      {"\xF4\x90\x80\x80", bad},      // above U+10FFFF
      {"\xF7\xBF\xBF\xBF", bad},
      {"\xF8\x88\x80\x80\x80", bad},  // five and six bytes
      {"\xFC\x84\x80\x80\x80\x80", bad},
      {"\xC3", bad},                  // cut off by the end
      {"\xE2\x82", bad},
      {"\xF0\x9F\x98", bad},
      {"\xC3" "A", bad},              // a delimiter is not swallowed
      {"\xE2\x82<", bad},
      {"\xC3\xC3\xA9", bad},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf("utf-8", c.In), c.Error) << testing::PrintToString(c.In);
  // The reader stands after the consumed bytes; a byte that broke a
  // sequence is not consumed.
  TStringStream stream("\x80Z\xE2\x82<\xC3\xA9");
  auto r = CreateCharReader("utf-8", &stream);
  r->OwnsStream = false;
  EXPECT_THROW(r->ReadChar(), EIllegalChar);
  EXPECT_EQ(r->ReadChar(), u'Z');
  EXPECT_THROW(r->ReadChar(), EIllegalChar);
  EXPECT_EQ(r->ReadChar(), u'<');
  EXPECT_EQ(r->ReadChar(), u'\u00E9');
}

TEST(CharsetUtf8, writer_forms) {
  EXPECT_EQ(WriteAll("utf-8", u"\u007F\u0080\u07FF\u0800\uFFFF"), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(WriteAll("utf-8", u"\U0001F600"), "\xF0\x9F\x98\x80");
  // Lone surrogates keep their three-byte form.
  EXPECT_EQ(WriteAll("utf-8", u"\xD800" u"a"), "\xED\xA0\x80" "a");
  EXPECT_EQ(WriteAll("utf-8", u"\xDC00\xD83D\xD83D\xDE00"), "\xED\xB0\x80\xED\xA0\xBD\xF0\x9F\x98\x80");
  // A high surrogate at the end waits for Flush (or the destructor).
  TStringStream stream;
  auto w = CreateCharWriter("utf-8", &stream);
  w->OwnsStream = false;
  w->WriteChar(0xD83D);
  EXPECT_EQ(stream.DataString(), "");
  w->Flush();
  EXPECT_EQ(stream.DataString(), "\xED\xA0\xBD");
}

TEST(CharsetUtf8, whole_string_conversions) {
  EXPECT_EQ(WideToUtf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(Utf8ToWide("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0\xC3\xA9", 5)), u"ab");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0\x80", 4)), u"ab");  // nothing after the zero is read
  EXPECT_EQ(WideToUtf8(u""), "");
  EXPECT_THROW(Utf8ToWide("abc\xC3"), EIllegalChar);
  // Any unit string survives the round trip up to its first U+0000.
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::u16string ws;
    int len = static_cast<int>(rng() % 24);
    for (int k = 0; k < len; ++k) {
      uint32_t kind = rng() % 4;
      char16_t c = kind == 0   ? static_cast<char16_t>(1 + rng() % 0x7F)
                   : kind == 1 ? static_cast<char16_t>(0xD800 + rng() % 0x800)
                               : static_cast<char16_t>(1 + rng() % 0xFFFF);
      ws.push_back(c);
    }
    ASSERT_EQ(Utf8ToWide(WideToUtf8(ws)), ws);
  }
}

// --- UTF-16 -----------------------------------------------------------------

TEST(CharsetUtf16, byte_orders_and_odd_length) {
  EXPECT_EQ(WriteAll("widestring", u"A"), Bytes({0x41, 0}));
  EXPECT_EQ(WriteAll("utf-16le", u"A\u20AC"), Bytes({0x41, 0, 0xAC, 0x20}));
  EXPECT_EQ(WriteAll("utf-16be", u"A\u20AC"), Bytes({0, 0x41, 0x20, 0xAC}));
  EXPECT_EQ(ReadAll("utf-16be", Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00})), u"\uFEFF\U0001F600");
  EXPECT_EQ(ReadAll("utf-16le", Bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE})), u"\uFEFF\U0001F600");
  EXPECT_EQ(ReadAll("widestring", Bytes({0x41, 0, 0, 0})), std::u16string(u"A\0", 2));
  TOutcome o = ReadUnits("utf-16le", Bytes({0x41, 0, 0x42}));
  EXPECT_EQ(o.Units, u"A");
  EXPECT_EQ(o.Error, "EIllegalChar:Illegal character");
}

// --- whole-string helpers agree with unit-by-unit reading --------------------

namespace {

std::string RandomBytes(std::mt19937& rng, const std::string& charset) {
  int len = static_cast<int>(rng() % 16);
  std::string s;
  static const std::string kUtf7Bytes = "+-+-AZaz09/+.!~ \x80=";
  static const std::string kUtf8Pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\xA0\xBD",
                                            "\xED\xB8\x80", std::string(1, '\0')};
  for (int i = 0; i < len; ++i) {
    if (charset == "utf-7" && rng() % 4 != 0) {
      s.push_back(kUtf7Bytes[rng() % kUtf7Bytes.size()]);
    } else if (charset == "utf-8" && rng() % 4 != 0) {
      s += kUtf8Pieces[rng() % std::size(kUtf8Pieces)];
    } else {
      // Mostly text with a few bytes that are likely to be unreadable.
      s.push_back(static_cast<char>(rng() % 8 ? 0x20 + rng() % 0xE0 : rng() % 256));
    }
  }
  return s;
}

}  // namespace

TEST(CharsetBulk, same_units_and_errors_as_reading_unit_by_unit) {
  std::mt19937 rng(2024);
  for (const char* name : kAllNames) {
    for (int i = 0; i < 1500; ++i) {
      std::string bytes = RandomBytes(rng, name);
      TOutcome expected = ReadUnits(name, bytes);
      std::string wide, utf8;
      try {
        std::optional<std::u16string> w = CharsetToWide(name, bytes);
        ASSERT_TRUE(w);
        EXPECT_EQ(*w, expected.Units) << name << " " << testing::PrintToString(bytes);
      } catch (const EIllegalChar& e) {
        wide = std::string("EIllegalChar:") + e.what();
      } catch (const Exception& e) {
        wide = std::string("Exception:") + e.what();
      }
      try {
        std::optional<std::string> u = CharsetToUtf8(name, bytes);
        EXPECT_EQ(*u, WideToUtf8(expected.Units)) << name << " " << testing::PrintToString(bytes);
      } catch (const EIllegalChar& e) {
        utf8 = std::string("EIllegalChar:") + e.what();
      } catch (const Exception& e) {
        utf8 = std::string("Exception:") + e.what();
      }
      EXPECT_EQ(wide, expected.Error) << name << " " << testing::PrintToString(bytes);
      EXPECT_EQ(utf8, expected.Error) << name << " " << testing::PrintToString(bytes);
    }
  }
}

TEST(CharsetBulk, large_input_crosses_chunk_boundaries) {
  // Long enough for several output chunks, with multi-byte forms at the edges.
  std::string latin2;
  for (int i = 0; i < 200000; ++i) latin2.push_back(static_cast<char>(i % 3 ? 0xA9 : 'x'));
  std::u16string wide = *CharsetToWide("iso-8859-2", latin2);
  ASSERT_EQ(wide.size(), latin2.size());
  EXPECT_EQ(*CharsetToUtf8("iso-8859-2", latin2), WideToUtf8(wide));
  std::u16string pairs;
  for (int i = 0; i < 100001; ++i) pairs += i % 2 ? u"\U0001F600" : u"a";
  std::string utf8 = WideToUtf8(pairs);
  EXPECT_EQ(Utf8ToWide(utf8), pairs);
  EXPECT_EQ(*CharsetToUtf8("utf-8", utf8), utf8);
}
