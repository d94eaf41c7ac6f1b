// UTF-7 reader and writer.
//
// Where RFC 2152 leaves a choice, this codec differs on purpose from the
// independent implementations it is compared with (glibc iconv, Python):
// - writer: ',' (and every other character outside A-Z a-z 0-9 ' ( ) . / -
//   : ? space TAB CR LF) goes into base64; iconv writes ',' directly and
//   Python the whole optional set; no '=' is ever written; '-' closes a run
//   only before a base64 character or '-', and always at the end (Flush);
//   a run that ends with two bytes waiting is completed with a zero byte
//   and closed after a whole quad ("+IKwA-"), where iconv and Python stop
//   after the third character ("+IKw-") and reject the extra zero byte;
// - reader: it accepts that form (the extra byte is zero fill); fill bits
//   are not tested ("+AGEB-" reads 'a');
//   a lone sextet after full quads still makes a byte ("+AGEAY-" reads
//   "a`"); a U+0000 decoded from a run is dropped; '~', '\' and bytes
//   0x80-0xFF outside a run read as themselves (iconv rejects the first
//   two, Python the last); a '+' at the very end raises, as in iconv
//   (Python returns nothing for it).
#include "util/Charsets.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "util/MemoryStream.h"

using namespace tessel;

namespace {

std::u16string Read7(const std::string& bytes) {
  TStringStream stream(bytes);
  std::unique_ptr<TCharReader> r = CreateCharReader("utf-7", &stream);
  r->OwnsStream = false;
  std::u16string out;
  while (!r->Eof()) out.push_back(r->ReadChar());
  return out;
}

// "Exception:<message>" (or "EIllegalChar:...") when reading raises.
std::string Error7(const std::string& bytes) {
  try {
    Read7(bytes);
  } catch (const EIllegalChar& e) {
    return std::string("EIllegalChar:") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception:") + e.what();
  }
  return "no error";
}

std::string Write7(const std::u16string& ws) {
  TStringStream stream;
  {
    std::unique_ptr<TCharWriter> w = CreateCharWriter("utf-7", &stream);
    w->OwnsStream = false;
    w->WriteString(ws);
  }  // freeing the writer closes an open run
  return stream.DataString();
}

const std::string kInvalid = "Exception:Invalid utf7 sequence";

// Random valid UTF-16 text without U+0000, weighted towards ASCII so that
// runs open and close often.
std::u16string RandomText(std::mt19937& rng, bool allowComma) {
  std::u16string t;
  int len = static_cast<int>(rng() % 20);
  while (static_cast<int>(t.size()) < len) {
    uint32_t kind = rng() % 10;
    char16_t c;
    if (kind < 5) c = static_cast<char16_t>(0x20 + rng() % 0x5F);
    else if (kind == 5) c = u"\t\n\r\x01\x1F\x7F"[rng() % 6];
    else if (kind == 6) c = static_cast<char16_t>(0x80 + rng() % 0x80);
    else if (kind == 7) c = static_cast<char16_t>(0x100 + rng() % (0xD800 - 0x100));
    else if (kind == 8) c = static_cast<char16_t>(0xE000 + rng() % (0xFFFE - 0xE000));
    else {
      uint32_t cp = 0x10000 + rng() % 0x100000 - 0x10000;
      t.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      t.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      continue;
    }
    if (c == u',' && !allowComma) continue;
    t.push_back(c);
  }
  return t;
}

// Converts with iconv; false when iconv refuses.
bool Iconv(const char* to, const char* from, const std::string& in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buf(in.size() * 8 + 16, '\0');
  char* inp = const_cast<char*>(in.data());
  char* outp = buf.data();
  size_t inleft = in.size(), outleft = buf.size();
  bool ok = iconv(cd, &inp, &inleft, &outp, &outleft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outp, &outleft) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.assign(buf.data(), static_cast<size_t>(outp - buf.data()));
  return ok;
}

std::string ToUtf16Le(const std::u16string& t) {
  std::string s;
  for (char16_t c : t) {
    s.push_back(static_cast<char>(c & 0xFF));
    s.push_back(static_cast<char>(c >> 8));
  }
  return s;
}

bool IconvHasUtf7() {
  iconv_t cd = iconv_open("UTF-7", "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

std::string HexDecode(const std::string& hex) {
  std::string s;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) s.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return s;
}

std::string HexEncode(const std::string& s) {
  static const char kHex[] = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h.push_back(kHex[c >> 4]);
    h.push_back(kHex[c & 15]);
  }
  return h;
}

// The value of "key": "..." in a flat JSON object text, as UTF-16.
std::u16string JsonString(const std::string& obj, const std::string& key) {
  size_t p = obj.find("\"" + key + "\"");
  p = obj.find('"', obj.find(':', p) + 1) + 1;
  std::u16string out;
  std::string raw;
  auto flush = [&] { out += Utf8ToWide(raw); raw.clear(); };
  for (; obj[p] != '"'; ++p) {
    if (obj[p] != '\\') {
      raw.push_back(obj[p]);
      continue;
    }
    char e = obj[++p];
    if (e == 'u') {
      flush();
      out.push_back(static_cast<char16_t>(std::stoi(obj.substr(p + 1, 4), nullptr, 16)));
      p += 4;
    } else {
      raw.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e);
    }
  }
  flush();
  return out;
}

}  // namespace

// --- reader -----------------------------------------------------------------

TEST(Utf7Reader, rfc_examples) {
  EXPECT_EQ(Read7("A+ImIDkQ."), u"A\u2262\u0391.");
  EXPECT_EQ(Read7("Hi Mom -+Jjo--!"), u"Hi Mom -\u263A-!");
  EXPECT_EQ(Read7("+ZeVnLIqe-"), u"\u65E5\u672C\u8A9E");
  EXPECT_EQ(Read7("+-"), u"+");
  EXPECT_EQ(Read7("+AGE-"), u"a");
  EXPECT_EQ(Read7("+AGEAYgBj"), u"abc");  // cut by the end, whole units
  EXPECT_EQ(Read7("+2D3eAA-"), u"\U0001F600");
}

TEST(Utf7Reader, run_endings) {
  EXPECT_EQ(Read7("+AOk x"), u"\u00E9 x");    // a non-base64 byte ends the run and stays
  EXPECT_EQ(Read7("+AOk--"), u"\u00E9-");     // only the first '-' is absorbed
  EXPECT_EQ(Read7("+AOk=A"), u"\u00E9=A");    // '=' is not base64 here
  EXPECT_EQ(Read7("+IKwA-a"), u"\u20ACa");    // full quad, odd byte count: zero fill
  EXPECT_EQ(Read7("+JjoA-"), u"\u263A");      // no phantom unit for the closing '-'
  EXPECT_EQ(Read7("+AGEB-"), u"a");           // fill bits are not tested
  EXPECT_EQ(Read7("+AGEAY-"), u"a`");         // a lone sextet still makes a byte
  EXPECT_EQ(Read7("a+AAA-b"), u"ab");         // U+0000 from a run is dropped
  EXPECT_EQ(Read7("+AAAAAA-"), u"");
  EXPECT_EQ(Read7("~\\\xE9"), u"~\\\u00E9");  // outside a run every byte is itself
  EXPECT_EQ(Read7(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(Read7("+AGE\xE9"), u"a\u00E9");
}

TEST(Utf7Reader, invalid_sequences) {
  for (const char* in : {"+x", "+!", "+ ", "a+", "+AG-", "+AGEAYgB-", "+A"})
    EXPECT_EQ(Error7(in), kInvalid) << in;
  // The error comes after the units before it, from ReadChar even when the
  // look-ahead of Eof met it.
  TStringStream stream("ab+!");
  auto r = CreateCharReader("utf-7", &stream);
  r->OwnsStream = false;
  EXPECT_EQ(r->ReadChar(), u'a');
  EXPECT_FALSE(r->Eof());
  EXPECT_EQ(r->ReadChar(), u'b');
  EXPECT_FALSE(r->Eof());
  EXPECT_THROW(r->ReadChar(), Exception);
}

TEST(Utf7Reader, corpus_vectors) {
  std::ifstream f(std::string(TESSEL_CORPUS) + "/vectors/utf7-rfc2152.json");
  if (!f) GTEST_SKIP() << "corpus vectors missing";
  std::stringstream all;
  all << f.rdbuf();
  std::string text = all.str();
  int count = 0;
  for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
    std::string obj = text.substr(open, text.find('}', open) - open + 1);
    std::string input = HexDecode(std::string(WideToUtf8(JsonString(obj, "input_utf8_hex"))));
    std::u16string expected = JsonString(obj, "expected");
    EXPECT_EQ(Read7(input), expected) << input;
    // and what the writer makes of the text reads back the same
    EXPECT_EQ(Read7(Write7(expected)), expected) << input;
    ++count;
  }
  EXPECT_EQ(count, 12);
}

// --- writer -----------------------------------------------------------------

TEST(Utf7Writer, examples) {
  EXPECT_EQ(Write7(u"A\u2262\u0391."), "A+ImIDkQ.");
  EXPECT_EQ(Write7(u"\u20ACa"), "+IKwA-a");
  EXPECT_EQ(Write7(u"\u20AC."), "+IKwA.");
  EXPECT_EQ(Write7(u"+"), "+-");
  EXPECT_EQ(Write7(u"\u263A"), "+JjoA-");
  EXPECT_EQ(Write7(u"\u00E9\u00E9"), "+AOkA6Q-");     // one byte waiting at the close
  EXPECT_EQ(Write7(u"\u00E9\u00E9\u00E9"), "+AOkA6QDp-");
  EXPECT_EQ(Write7(u"\u00E9+"), "+AOkAKw-");           // '+' inside a run is base64
  EXPECT_EQ(Write7(u"a,b!~"), "a+ACwA-b+ACEAfg-");
  EXPECT_EQ(Write7(u""), "");
}

TEST(Utf7Writer, dash_only_before_base64_characters_and_dash) {
  for (char16_t c : std::u16string(u"\t\n\r '().:?/-AZaz09")) {
    bool dash = c == u'/' || c == u'-' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
                (c >= u'a' && c <= u'z');
    std::string expected = std::string("+AOkA") + (dash ? "-" : "") + static_cast<char>(c);
    EXPECT_EQ(Write7(std::u16string(u"\u00E9") + c), expected) << static_cast<int>(c);
    EXPECT_EQ(Write7(std::u16string(1, c)), std::string(1, static_cast<char>(c)));
  }
}

TEST(Utf7Writer, flush_closes_the_run_once) {
  TStringStream stream;
  auto w = CreateCharWriter("utf-7", &stream);
  w->OwnsStream = false;
  w->WriteChar(0x263A);
  EXPECT_EQ(stream.DataString(), "+");  // both bytes wait for a third
  w->Flush();
  w->Flush();
  EXPECT_EQ(stream.DataString(), "+JjoA-");
  w->WriteChar(u'x');
  w.reset();
  EXPECT_EQ(stream.DataString(), "+JjoA-x");
}

// --- properties and agreement -----------------------------------------------

TEST(Utf7RoundTrip, any_units_without_nul_read_back) {
  std::mt19937 rng(1152);
  for (int i = 0; i < 5000; ++i) {
    std::u16string ws;
    int len = static_cast<int>(rng() % 24);
    for (int k = 0; k < len; ++k) {
      // Half ASCII (every byte value, '+' and '-' included), half any unit.
      char16_t c = static_cast<char16_t>(rng() % 2 ? 1 + rng() % 0x7F : 1 + rng() % 0xFFFF);
      ws.push_back(c);
    }
    std::string bytes = Write7(ws);
    for (unsigned char b : bytes) ASSERT_TRUE(b < 0x80 && b != '=') << HexEncode(bytes);
    ASSERT_EQ(Read7(bytes), ws) << bytes;
  }
  EXPECT_EQ(Read7(Write7(std::u16string(u"a\0b", 3))), u"ab");
}

// Our output in the form iconv writes: a run closed after a whole quad whose
// last byte is the zero fill loses that quad's last character.
std::string WithoutZeroFill(const std::string& utf7) {
  std::string out;
  size_t i = 0;
  while (i < utf7.size()) {
    out += utf7[i];
    if (utf7[i++] != '+') continue;
    size_t start = i;
    while (i < utf7.size() && std::strchr(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", utf7[i]) && utf7[i] != 0)
      ++i;
    size_t n = i - start;
    bool fill = n > 0 && n % 4 == 0 && (n / 4 * 3) % 2 == 1 && utf7[i - 1] == 'A';
    out.append(utf7, start, fill ? n - 1 : n);
  }
  return out;
}

TEST(Utf7Agreement, iconv_writes_the_same_bytes_and_reads_ours) {
  if (!IconvHasUtf7()) GTEST_SKIP() << "iconv without UTF-7";
  std::mt19937 rng(2152);
  for (int i = 0; i < 3000; ++i) {
    std::u16string text = RandomText(rng, i % 2 == 0);
    std::string ours = WithoutZeroFill(Write7(text)), theirs, back;
    ASSERT_TRUE(Iconv("UTF-7", "UTF-16LE", ToUtf16Le(text), theirs));
    if (text.find(u',') == std::u16string::npos) {
      EXPECT_EQ(ours, theirs);
    }
    EXPECT_EQ(Read7(theirs), text) << theirs;
    ASSERT_TRUE(Iconv("UTF-16LE", "UTF-7", ours, back)) << ours;
    EXPECT_EQ(back, ToUtf16Le(text)) << ours;
  }
}

TEST(Utf7Agreement, python_encodings_read_back) {
  if (std::system("python3 -c pass > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  std::string dir = std::string(TESSEL_BINARY_DIR) + "/utf7-python-" + std::to_string(getpid());
  std::string in = dir + ".in", out = dir + ".out";
  std::mt19937 rng(7152);
  std::vector<std::u16string> texts;
  {
    std::ofstream f(in);
    for (int i = 0; i < 3000; ++i) {
      texts.push_back(RandomText(rng, true));
      f << HexEncode(WideToUtf8(texts.back())) << "\n";
    }
  }
  std::string cmd = "python3 -c \"import sys\nwith open(sys.argv[1]) as i, open(sys.argv[2], 'w') as o:\n"
                    " [o.write(bytes.fromhex(l.strip()).decode('utf-8').encode('utf-7').hex() + '\\n') for l in i]\" " +
                    in + " " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(out);
  size_t n = 0;
  for (std::string line; std::getline(f, line); ++n) {
    ASSERT_LT(n, texts.size());
    std::string bytes = HexDecode(line);
    EXPECT_EQ(Read7(bytes), texts[n]) << bytes;
  }
  EXPECT_EQ(n, texts.size());
  std::remove(in.c_str());
  std::remove(out.c_str());
}
