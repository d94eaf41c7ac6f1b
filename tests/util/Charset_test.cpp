#include "util/charsets/Charsets.h"
#include "util/charsets/Utf8Codec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <random>

#include "TestSupport.h"

using namespace tessel;
using namespace tessel::test;

namespace {

// Every registered name: "" is the default charset.
const std::string kAllNames[] = {
    "us-ascii",    "iso-8859-1",  "iso-8859-2",  "iso-8859-3",  "iso-8859-4",  "iso-8859-5",
    "iso-8859-6",  "iso-8859-7",  "iso-8859-8",  "iso-8859-9",  "iso-8859-10", "iso-8859-11",
    "iso-8859-13", "iso-8859-14", "iso-8859-15", "iso-8859-16", "cp-1250",     "windows-1250",
    "utf-8",       "utf-7",       "widestring",  "utf-16le",    "utf-16be",    ""};

struct TCountingStream : TStringStream {
  explicit TCountingStream(int* freed) : Freed(freed) {}
  ~TCountingStream() override { ++*Freed; }
  int* Freed;
};

// The corpus table of an 8-bit charset: each byte's character, nullopt where
// it has none; empty when the corpus is missing.
std::vector<std::optional<char16_t>> CorpusTable(const std::string& name) {
  std::string file = name == "windows-1250" ? "cp1250" : "iso" + name.substr(4);
  std::ifstream f(std::string(TESSEL_CORPUS) + "/vectors/charsets/" + file + ".txt");
  std::vector<std::optional<char16_t>> table;
  for (std::string line, byte, unit; std::getline(f, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream(line) >> byte >> unit;
    EXPECT_EQ(std::stoi(byte, nullptr, 16), static_cast<int>(table.size())) << file;
    table.push_back(unit == "UNDEFINED" ? std::nullopt
                                        : std::optional(char16_t(std::stoi(unit.substr(2), nullptr, 16))));
  }
  return table;
}

// What reading byte b must give, from the reference's character for it
// (nullopt when the reference has none); "" when the byte is refused.
std::u16string Expected(const std::string& name, int b, std::optional<char16_t> reference) {
  bool later7 = name == "iso-8859-7" && (b == 0xA4 || b == 0xA5 || b == 0xAA);
  if (b == 0) return u"";
  if (reference && !later7) return std::u16string(1, *reference);
  return name == "windows-1250" ? u"" : std::u16string(1, static_cast<char16_t>(b));
}

// units as UTF-8 with each surrogate outside a pair as U+FFFD.
std::string ShownUtf8(const std::u16string& units) {
  std::string r;
  for (size_t i = 0; i < units.size(); ++i) {
    bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      r += WideToUtf8(units.substr(i++, 2));
    } else {
      r += units[i] >= 0xD800 && units[i] <= 0xDFFF ? "\xEF\xBF\xBD" : WideToUtf8(units.substr(i, 1));
    }
  }
  return r;
}

// Whether s is UTF-8 that every consumer takes: the strict reader reads it
// and it holds no surrogate outside a pair.
bool IsShowable(const std::string& s) {
  std::optional<std::u16string> units;
  if (!ErrorOf([&] { units = CharsetToWide("utf-8", s); }).empty()) return false;
  return ShownUtf8(*units) == s;
}

}  // namespace

TEST(CharsetRegistry, lookup_is_exact_after_lower_casing_and_unknown_writers_fall_back) {
  auto a = FindCharReader("ISO-8859-2");
  ASSERT_TRUE(a && a->Stream == nullptr && a->OwnsStream && a.get() != FindCharReader("iso-8859-2").get());  // fresh
  for (const char* missing :
       {" iso-8859-2", "iso-8859-2 ", "latin2", "iso-8859-12", "ucs-4", "utf-16", "cp1250", "utf8", "x-unknown"})
    EXPECT_EQ(FindCharReader(missing), nullptr) << missing;
  for (const std::string& name : kAllNames) EXPECT_TRUE(FindCharReader(name) && FindCharWriter(name)) << name;
  const std::pair<const char*, const char*> names[] = {
      {"ISO-8859-2", "iso-8859-2"}, {"utf-8", "UTF-8"},       {"UTF-7", "UTF-7"}, {"widestring", "widestring"},
      {"UTF-16LE", "UTF-16LE"},     {"utf-16be", "UTF-16BE"}, {"", ""},           {"Windows-1250", "windows-1250"},
      {"CP-1250", "cp-1250"}};
  for (const auto& [lookup, name] : names) {
    EXPECT_EQ(FindCharReader(lookup)->Name, name);
    EXPECT_EQ(FindCharWriter(lookup)->Name, name);
  }
  // An unknown name has no reader, and the ISO 8859-2 writer.
  EXPECT_EQ(FindCharWriter("koi8-r")->Name, "iso-8859-2");
  EXPECT_EQ(WriteAll("koi8-r", u"\u0160\u00E9"), "\xA9\xE9");
  EXPECT_EQ(CreateCharReader("koi8-r", nullptr), nullptr);
  EXPECT_EQ(CharsetToWide("koi8-r", "a"), std::nullopt);
  EXPECT_EQ(CharsetToUtf8("koi8-r", "a"), std::nullopt);
}

TEST(CharsetRegistry, stream_ownership) {
  int freed = 0;
  TCountingStream kept(&freed);
  {
    auto r = CreateCharReader("utf-8", new TCountingStream(&freed));
    r->SetStream(r->Stream);  // the same stream: kept
    EXPECT_EQ(freed, 0);
    r->SetStream(new TCountingStream(&freed));  // the owned one goes
    EXPECT_EQ(freed, 1);
    auto w = CreateCharWriter("utf-8", &kept);
    w->OwnsStream = false;
    w->WriteChar(u'x');
  }
  EXPECT_EQ(freed, 2);  // the reader's second stream, not the writer's
  EXPECT_EQ(kept.DataString(), "x");
}

TEST(CharsetEightBit, writer_lookup) {
  EXPECT_EQ(WriteAll("iso-8859-1", u"a\u20ACb"), "ab");  // no byte: skipped
  EXPECT_FALSE(FindCharWriter("iso-8859-1")->CanWrite(u'\u20AC'));
  // Several bytes read as U+0000; the defined byte is written.
  EXPECT_EQ(WriteAll("windows-1250", std::u16string(1, u'\0')), std::string(1, '\0'));
  EXPECT_EQ(WriteAll("iso-8859-7", u"\u00A4\u20AC"), "\xA4");
  EXPECT_EQ(WriteAll("iso-8859-2", u"\u0160\uFFFF"), "\xA9");
}

TEST(CharsetUtf8, forms_up_to_four_bytes_both_ways) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", u"\u007F\u0080\u07FF\u0800\uFFFF"},
      {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {std::string("\0", 1), std::u16string(1, u'\0')}};
  for (const auto& [bytes, units] : cases) {
    EXPECT_EQ(ReadAll("utf-8", bytes), units);
    EXPECT_EQ(WriteAll("utf-8", units), bytes);
  }
  // Surrogates in three-byte form read as they are; lone ones are written so.
  EXPECT_EQ(ReadAll("utf-8", "\xED\xA0\x80"), u"\xD800");
  EXPECT_EQ(ReadAll("utf-8", "\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
  EXPECT_EQ(WriteAll("utf-8", u"\xD800" + std::u16string(u"a")), "\xED\xA0\x80" + std::string("a"));
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

TEST(CharsetUtf8, malformed_input_messages_and_whole_string_reading) {
  const std::string bad = "EIllegalChar:Illegal character";
  const std::string lead = "EIllegalChar:Illegar UTF-8 character beginning with #x";
  const std::pair<std::string, std::string> cases[] = {
      {"\x80", lead + "80"},
      {"\xBF", lead + "BF"},
      {"\xFE", lead + "FE"},
      {"\xff", lead + "FF"},
      {"\xC0\x80", bad},
      {"\xC1\xBF", bad},
      {"\xE0\x9F\xBF", bad},
      {"\xF0\x8F\xBF\xBF", bad},  // overlong
      {"\xF4\x90\x80\x80", bad},
      {"\xF7\xBF\xBF\xBF", bad},  // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", bad},
      {"\xFC\x84\x80\x80\x80\x80", bad},  // five, six bytes
      {"\xC3", bad},
      {"\xE2\x82", bad},
      {"\xF0\x9F\x98", bad},  // cut off by the end
      {std::string("\xC3") + "A", bad},
      {"\xE2\x82<", bad},
      {"\xC3\xC3\xA9", bad},  // broken by a byte
  };
  for (const auto& [in, error] : cases) EXPECT_EQ(ReadUnits("utf-8", in).Error, error) << testing::PrintToString(in);
  // The reader stands after the consumed bytes; a byte that broke a
  // sequence (a delimiter, say) is not consumed.
  TStringStream stream("\x80Z\xE2\x82<\xC3\xA9");
  auto r = CreateCharReader("utf-8", &stream);
  r->OwnsStream = false;
  EXPECT_THROW(r->ReadChar(), EIllegalChar);
  EXPECT_EQ(r->ReadChar(), u'Z');
  EXPECT_THROW(r->ReadChar(), EIllegalChar);
  EXPECT_EQ(r->ReadChar(), u'<');
  EXPECT_EQ(r->ReadChar(), u'\u00E9');
  EXPECT_EQ(Utf8ToWide(std::string("ab\0\xC3\xA9", 5)), u"ab");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0\x80", 4)), u"ab");  // nothing after the zero is read
  EXPECT_THROW(Utf8ToWide("abc\xC3"), EIllegalChar);
}

// Any unit string without U+0000 survives UTF-8 and UTF-7; UTF-7 is plain
// 7-bit text without '='.
TEST(CharsetRoundTrip, any_units_survive_utf8_and_utf7) {
  std::mt19937 rng(7);
  for (int i = 0; i < 5000; ++i) {
    std::u16string ws;
    for (int len = static_cast<int>(rng() % 24); len > 0; --len) {
      uint32_t kind = rng() % 4;  // ASCII half the time, '+' and '-' included; lone surrogates
      ws.push_back(kind < 2    ? static_cast<char16_t>(1 + rng() % 0x7F)
                   : kind == 2 ? static_cast<char16_t>(0xD800 + rng() % 0x800)
                               : static_cast<char16_t>(1 + rng() % 0xFFFF));
    }
    ASSERT_EQ(Utf8ToWide(WideToUtf8(ws)), ws);
    std::string utf7 = WriteAll("utf-7", ws);
    for (unsigned char b : utf7) ASSERT_TRUE(b < 0x80 && b != '=') << ToHex(utf7);
    ASSERT_EQ(ReadAll("utf-7", utf7), ws) << utf7;
  }
  EXPECT_EQ(ReadAll("utf-7", WriteAll("utf-7", std::u16string(u"a\0b", 3))), u"ab");
}

TEST(CharsetUtf16, byte_orders_and_odd_length) {
  EXPECT_EQ(WriteAll("widestring", u"A"), std::string("A\0", 2));
  EXPECT_EQ(WriteAll("utf-16le", u"A\u20AC"), std::string("A\0\xAC\x20", 4));
  EXPECT_EQ(WriteAll("utf-16be", u"A\u20AC"), std::string("\0A\x20\xAC", 4));
  EXPECT_EQ(ReadAll("utf-16be", std::string("\xFE\xFF\xD8\x3D\xDE\0", 6)), u"\uFEFF\U0001F600");
  EXPECT_EQ(ReadAll("utf-16le", std::string("\xFF\xFE\x3D\xD8\0\xDE", 6)), u"\uFEFF\U0001F600");
  EXPECT_EQ(ReadAll("widestring", std::string("A\0\0\0", 4)), std::u16string(u"A\0", 2));
  TReadResult o = ReadUnits("utf-16le", std::string("A\0B", 3));
  EXPECT_EQ(o.Units, u"A");
  EXPECT_EQ(o.Error, "EIllegalChar:Illegal character");
}

// The whole-string helpers give the same units and errors as reading unit by unit.
TEST(CharsetBulk, same_units_and_errors_as_reading_unit_by_unit_also_across_chunks) {
  static const std::string kUtf7Bytes = "+-+-AZaz09/+.!~ \x80=";
  static const std::string kUtf8Pieces[] = {
      "a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\xA0\xBD", "\xED\xB8\x80", std::string(1, '\0')};
  std::mt19937 rng(2024);
  for (const std::string& name : kAllNames) {
    for (int i = 0; i < 1500; ++i) {
      std::string bytes;
      for (int len = static_cast<int>(rng() % 16); len > 0; --len) {
        if (name == "utf-7" && rng() % 4 != 0)
          bytes.push_back(kUtf7Bytes[rng() % kUtf7Bytes.size()]);
        else if (name == "utf-8" && rng() % 4 != 0)
          bytes += kUtf8Pieces[rng() % std::size(kUtf8Pieces)];
        else
          bytes.push_back(static_cast<char>(rng() % 8 ? 0x20 + rng() % 0xE0 : rng() % 256));  // mostly text
      }
      TReadResult expected = ReadUnits(name, bytes);
      std::optional<std::u16string> wide;
      std::optional<std::string> utf8;
      EXPECT_EQ(ErrorOf([&] { wide = CharsetToWide(name, bytes); }), expected.Error) << name << " " << ToHex(bytes);
      EXPECT_EQ(ErrorOf([&] { utf8 = CharsetToUtf8(name, bytes); }), expected.Error) << name << " " << ToHex(bytes);
      if (expected.Error.empty()) {
        EXPECT_EQ(wide, expected.Units) << name << " " << ToHex(bytes);
        EXPECT_EQ(utf8, WideToUtf8(expected.Units)) << name << " " << ToHex(bytes);
      }
      // The lenient reading agrees wherever the strict one succeeds, sees
      // every fault it sees, and always gives showable text.
      std::string lenient = "<";
      bool clean = FindCharReader(name)->DecodeBytesLenientUtf8(bytes, lenient);
      EXPECT_EQ(clean, expected.Error.empty()) << name << " " << ToHex(bytes);
      if (clean) {
        EXPECT_EQ(lenient, "<" + ShownUtf8(expected.Units)) << name << " " << ToHex(bytes);
      }
      EXPECT_TRUE(IsShowable(lenient)) << name << " " << ToHex(bytes) << " " << ToHex(lenient);
    }
  }
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

// Every byte of every 8-bit charset, read through the registry, against two
// independent references: the C library's iconv, asked at test time, and the
// byte tables in the shared corpus; and written back.
//
// Intended differences from both references, and only these:
// - byte 0x00 is refused (a NUL byte is never text);
// - ISO 8859 positions the standard leaves undefined read as the byte's own
//   value; the undefined Windows-1250 bytes are refused;
// - ISO 8859-7 is its 1987 edition: 0xA4, 0xA5 and 0xAA (euro, drachma,
//   ypogegrammeni, added in 2003) are undefined, so they read as U+00A4,
//   U+00A5 and U+00AA.
TEST(CharsetEightBit, every_byte_matches_iconv_and_corpus_and_writes_back) {
  for (const std::string& name : kAllNames) {
    if (name.find("utf") == 0 || name == "widestring") continue;
    // "" and "us-ascii" read as ISO 8859-1; "cp-1250" is Windows-1250.
    std::string ref = name.empty() || name == "us-ascii" ? "iso-8859-1" : name == "cp-1250" ? "windows-1250" : name;
    if (!Iconv("UTF-16LE", ref.c_str(), "")) GTEST_SKIP() << "iconv lacks " << ref;
    std::vector<std::optional<char16_t>> corpus = CorpusTable(ref);
    ASSERT_TRUE(corpus.empty() || corpus.size() == 256u) << ref;
    for (int b = 0; b < 256; ++b) {
      std::string byte(1, static_cast<char>(b));
      TReadResult r = ReadUnits(name, byte);
      std::optional<std::string> u = Iconv("UTF-16LE", ref.c_str(), byte);
      std::optional<char16_t> fromIconv;
      if (u && u->size() == 2) fromIconv = static_cast<char16_t>(uint8_t((*u)[0]) | uint8_t((*u)[1]) << 8);
      EXPECT_EQ(r.Units, Expected(ref, b, fromIconv)) << name << " byte " << b << " against iconv";
      EXPECT_TRUE(corpus.empty() || r.Units == Expected(ref, b, corpus[b])) << name << " byte " << b << " in corpus";
      EXPECT_EQ(r.Error, r.Units.empty() ? "EIllegalChar:" : "") << name << " byte " << b;
      if (r.Units.empty()) continue;
      EXPECT_TRUE(FindCharWriter(name)->CanWrite(r.Units[0])) << name << " byte " << b;
      // The one shared unit: undefined 0xD7 reads as U+00D7, the character
      // the standard puts at 0xAA, and the defined byte wins on writing.
      int back = ref == "iso-8859-8" && b == 0xD7 ? 0xAA : b;
      EXPECT_EQ(WriteAll(name, r.Units), std::string(1, static_cast<char>(back))) << name << " byte " << b;
    }
  }
  EXPECT_EQ(ReadUnits("windows-1250", "ab\x81z").Units, u"ab");  // the units before a refused byte
}

namespace {

// A codec with no lenient loop of its own: 'X' is no character, and 'Y'
// takes the byte after it along in its fault.
class TPickyReader : public TCharReader {
public:
  std::unique_ptr<TCharReader> Clone() const override { return std::make_unique<TPickyReader>(); }
  char16_t ReadChar() override {
    uint8_t b = 0;
    ReadByte(b);
    if (b == 'X') throw EIllegalChar("");
    if (b == 'Y') ReadByte(b), throw EIllegalChar("");
    return b;
  }
};

}  // namespace

// Faults read leniently: one U+FFFD per bad stretch, reading resumes right
// after it, and the codec reports that it met one.
TEST(CharsetLenient, each_bad_stretch_is_one_replacement_and_reading_resumes) {
  const std::string kBad = "\xEF\xBF\xBD";
  struct TCase {
    const char* Name;
    std::string Bytes, Want;
    bool Clean;
  } cases[] = {{"windows-1250", "a\x81\x8A" + std::string("b"), "a" + kBad + "\xC5\xA0" + "b", false},
               {"iso-8859-1", std::string("a\0b", 3), std::string("a\0b", 3), false},
               {"utf-16le", std::string("A\0B", 3), "A" + kBad, false},
               {"utf-16be", std::string("\xD8\x3D\0A", 4), kBad + "A", true},
               {"utf-16be", std::string("\xD8\x3D\xDE\0", 4), "\xF0\x9F\x98\x80", true},
               {"utf-8", "a\xE2\x82" + std::string("b"), "a" + kBad + "b", false},
               {"utf-8", "\xF0\x9F\x98", kBad, false},
               {"utf-8", "\xC0\x80\xF8!", kBad + kBad + kBad + "!", false},
               {"utf-8", "\xE2\x82\xE2\x82\xAC", kBad + "\xE2\x82\xAC", false},
               {"utf-8", "\xED\xA0\xBD\xED\xB8\x80|\xED\xA0\xBD", "\xF0\x9F\x98\x80|" + kBad, true},
               {"utf-8", "\xED\xA0\xBD\xFF", kBad + kBad, false},
               {"utf-7", "+AGE-+!", "a" + kBad + "!", false}};
  for (const TCase& c : cases) {
    std::string out;
    EXPECT_EQ(FindCharReader(c.Name)->DecodeBytesLenientUtf8(c.Bytes, out), c.Clean) << c.Name << " " << ToHex(c.Bytes);
    EXPECT_EQ(ToHex(out), ToHex(c.Want)) << c.Name << " " << ToHex(c.Bytes);
  }
  std::string out;
  EXPECT_FALSE(TPickyReader().DecodeBytesLenientUtf8(std::string("aXbYcd\0", 7), out));
  EXPECT_EQ(ToHex(out), ToHex("a" + kBad + "b" + kBad + "d" + std::string(1, '\0')));
}

TEST(CharsetLenient, decoding_without_a_reader_matches_a_fresh_reader) {
  // Every registered name, with clean and faulty bytes, appended after text
  // already there.
  const char* names[] = {"us-ascii", "iso-8859-2", "iso-8859-16", "windows-1250", "utf-8",
                         "utf-7",    "widestring", "utf-16le",    "utf-16be"};
  // The last two: the most output per byte (every byte U+FFFD), and a
  // text longer than a short word.
  const std::string samples[] = {"plain",
                                 std::string("a\0\x81\xFF\xC3\xA9+AGE-\xD8\x3D", 12),
                                 "+ZeVnLIqeMG4-",
                                 "\xE2\x82\xAC\xED\xA0\xBD",
                                 "",
                                 std::string(300, '\xFF'),
                                 "+" + std::string(400, 'A') + "2D-" + std::string(300, '+')};
  for (const char* name : names) {
    for (const std::string& bytes : samples) {
      std::string want = "x", got = "x";
      bool clean = FindCharReader(name)->DecodeBytesLenientUtf8(bytes, want);
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::optional<bool> result = AppendCharsetLenientUtf8(upper, bytes, got);
      ASSERT_TRUE(result.has_value()) << name;
      EXPECT_EQ(*result, clean) << name << " " << ToHex(bytes);
      EXPECT_EQ(ToHex(got), ToHex(want)) << name << " " << ToHex(bytes);
    }
  }
  std::string out = "kept";
  EXPECT_FALSE(AppendCharsetLenientUtf8("x-unknown", "abc", out).has_value());
  EXPECT_FALSE(AppendCharsetLenientUtf8(" utf-8", "abc", out).has_value());  // no trimming
  EXPECT_EQ(out, "kept");
  // A name looked up before it was registered is found once it is.
  RegisterCharset("x-unknown", FindCharReader("utf-7"), nullptr);
  EXPECT_TRUE(AppendCharsetLenientUtf8("x-unknown", "+AGE-", out).value());
  EXPECT_EQ(out, "kepta");
}

TEST(CharsetLenient, utf7_runs_of_every_shape) {
  // Random texts over the characters that open, fill and close runs: a
  // clean result holds the units the strict reader gives (lone surrogates
  // shown as U+FFFD), and a faulty one still reads as well-formed UTF-8.
  std::mt19937 rng(7);
  const std::string alphabet = "++--AAB/z9!\x01";
  for (int round = 0; round < 4000; ++round) {
    std::string bytes(rng() % 24, ' ');
    for (char& c : bytes) c = alphabet[rng() % alphabet.size()];
    std::string out;
    bool clean = FindCharReader("utf-7")->DecodeBytesLenientUtf8(bytes, out);
    EXPECT_NO_THROW(Utf8ToWide(out)) << bytes;
    if (clean) {
      std::u16string units = *CharsetToWide("utf-7", bytes);
      std::string want;
      AppendUtf8Lenient(units.data(), units.size(), want);
      EXPECT_EQ(ToHex(out), ToHex(want)) << bytes;
    }
  }
}
