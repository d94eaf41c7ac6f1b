// The 8-bit tables against two independent references: the C library's
// iconv, asked at test time, and the byte tables in the shared corpus.
//
// Intended differences from both references, and only these:
// - byte 0x00 maps to 0 (the reader refuses a NUL byte);
// - ISO 8859 positions the standard leaves undefined map to the byte's own
//   value, the undefined Windows-1250 positions to 0;
// - ISO 8859-7 is its 1987 edition: 0xA4, 0xA5 and 0xAA (euro, drachma,
//   ypogegrammeni, added in 2003) are undefined, so they read as U+00A4,
//   U+00A5 and U+00AA.
#include "util/CodePageTables.h"

#include <gtest/gtest.h>

#include "CodecTestSupport.h"

using namespace tessel;
using namespace tessel::test;

namespace {

struct TTable {
  const char* Name;        // registry name, also understood by iconv
  const char* CorpusFile;  // vectors/charsets/<file>.txt
  const char16_t* ToUnicode;
};

const TTable kTables[] = {
    {"iso-8859-1", "iso8859-1", Iso8859_1ToUnicode},     {"iso-8859-2", "iso8859-2", Iso8859_2ToUnicode},
    {"iso-8859-3", "iso8859-3", Iso8859_3ToUnicode},     {"iso-8859-4", "iso8859-4", Iso8859_4ToUnicode},
    {"iso-8859-5", "iso8859-5", Iso8859_5ToUnicode},     {"iso-8859-6", "iso8859-6", Iso8859_6ToUnicode},
    {"iso-8859-7", "iso8859-7", Iso8859_7ToUnicode},     {"iso-8859-8", "iso8859-8", Iso8859_8ToUnicode},
    {"iso-8859-9", "iso8859-9", Iso8859_9ToUnicode},     {"iso-8859-10", "iso8859-10", Iso8859_10ToUnicode},
    {"iso-8859-11", "iso8859-11", Iso8859_11ToUnicode},  {"iso-8859-13", "iso8859-13", Iso8859_13ToUnicode},
    {"iso-8859-14", "iso8859-14", Iso8859_14ToUnicode},  {"iso-8859-15", "iso8859-15", Iso8859_15ToUnicode},
    {"iso-8859-16", "iso8859-16", Iso8859_16ToUnicode},  {"windows-1250", "cp1250", Windows1250ToUnicode},
};

// What the table must hold for byte b, given the reference's mapping
// (nullopt when the reference has no character there).
char16_t Expected(const TTable& t, int b, std::optional<char16_t> reference) {
  bool windows = std::string(t.Name) == "windows-1250";
  bool later7 = std::string(t.Name) == "iso-8859-7" && (b == 0xA4 || b == 0xA5 || b == 0xAA);
  if (b == 0) return 0;
  if (reference && !later7) return *reference;
  return windows ? 0 : static_cast<char16_t>(b);
}

}  // namespace

TEST(CodePageTables, every_entry_matches_iconv_and_corpus_vectors) {
  for (const TTable& t : kTables) {
    if (!Iconv("UTF-16LE", t.Name, "")) GTEST_SKIP() << "iconv lacks " << t.Name;
    for (int b = 0; b < 256; ++b) {
      std::optional<std::string> u = Iconv("UTF-16LE", t.Name, std::string(1, static_cast<char>(b)));
      std::optional<char16_t> ref;
      if (u && u->size() == 2) ref = static_cast<char16_t>(uint8_t((*u)[0]) | uint8_t((*u)[1]) << 8);
      EXPECT_EQ(t.ToUnicode[b], Expected(t, b, ref)) << t.Name << " byte " << b;
    }
    std::ifstream f(std::string(TESSEL_CORPUS) + "/vectors/charsets/" + t.CorpusFile + ".txt");
    if (!f) continue;  // no corpus
    int rows = 0;
    for (std::string line; std::getline(f, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string byteText, unitText;
      fields >> byteText >> unitText;
      int b = std::stoi(byteText, nullptr, 16);
      std::optional<char16_t> ref;
      if (unitText != "UNDEFINED") ref = static_cast<char16_t>(std::stoi(unitText.substr(2), nullptr, 16));
      EXPECT_EQ(t.ToUnicode[b], Expected(t, b, ref)) << t.CorpusFile << " byte " << b;
      ++rows;
    }
    EXPECT_EQ(rows, 256) << t.CorpusFile;
  }
}

TEST(CodePageTables, every_mapped_byte_reads_and_writes_back) {
  for (const std::string name : {"", "us-ascii", "iso-8859-1", "iso-8859-2", "iso-8859-3", "iso-8859-4", "iso-8859-5",
                                 "iso-8859-6", "iso-8859-7", "iso-8859-8", "iso-8859-9", "iso-8859-10", "iso-8859-11",
                                 "iso-8859-13", "iso-8859-14", "iso-8859-15", "iso-8859-16", "cp-1250",
                                 "windows-1250"}) {
    int mapped = 0;
    for (int b = 1; b < 256; ++b) {
      TReadResult r = ReadUnits(name, std::string(1, static_cast<char>(b)));
      if (r.Error == "EIllegalChar:") continue;  // the five undefined Windows-1250 bytes
      ASSERT_EQ(r.Units.size(), 1u) << name << " byte " << b << " " << r.Error;
      ++mapped;
      EXPECT_TRUE(FindCharWriter(name)->CanWrite(r.Units[0])) << name << " byte " << b;
      // The one shared unit: undefined 0xD7 reads as U+00D7, the character
      // the standard puts at 0xAA, and the defined byte wins on writing.
      int back = name == "iso-8859-8" && b == 0xD7 ? 0xAA : b;
      EXPECT_EQ(WriteAll(name, r.Units), std::string(1, static_cast<char>(back))) << name << " byte " << b;
    }
    EXPECT_EQ(mapped, name.find("1250") != std::string::npos ? 250 : 255) << name;
  }
}
