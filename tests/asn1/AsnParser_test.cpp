// TAsnParser, the streaming reader.
#include <gtest/gtest.h>

#include "AllocationProbe.h"
#include "AsnTestUtil.h"
#include "util/Exception.h"

using namespace tessel;
using namespace tessel::test;

namespace {

// One "level:kind" per element ("0:seq", "1:oid", "2:u2" for a TUnknown with
// tag 2), then "!message" when reading raised.
std::string Walk(const std::string& octets) {
  TStringStream stream(octets);
  TAsnParser parser(stream);
  std::string out;
  try {
    for (int i = 0; i < 1000; ++i) {
      TAsnElem* e = parser.Next();
      if (!e) break;
      std::string kind = dynamic_cast<TSeq*>(e) ? "seq" : dynamic_cast<TOID*>(e) ? "oid" : "u" + std::to_string(e->Tag);
      out += (out.empty() ? "" : " ") + std::to_string(parser.LastDepth()) + ":" + kind;
    }
  } catch (const Exception& e) {
    out += std::string(out.empty() ? "" : " ") + "!" + e.what();
  }
  return out;
}

}  // namespace

TEST(asn1_stream, elements_in_document_order) {
  const std::pair<const char*, const char*> cases[] = {
      {"30 80 02 01 01 00 00 05 00", "0:seq 1:u2"},  // the outermost end marker ends the reading
      {"05 00 06 03 2A 03 04", "0:u5 0:oid"},        // the next element starts right after NULL
      {"30 0B 30 04 06 02 2A 03 A0 00 02 01 07 05 00", "0:seq 1:seq 2:oid 1:seq 1:u2 0:u5"},
      {"30 09 30 80 02 01 01 00 00 02 01 02 02 01 03", "0:seq 1:seq 2:u2 1:u2 0:u2"},
      {"00 00 00 00", "0:u0 0:u0"},  // end markers with no indefinite element open
      // An inner element overrun by its child closes once passed, so 00 00 still ends the outer one.
      {"30 80 30 01 02 01 05 00 00 05 00", "0:seq 1:seq 2:u2"},
      {"", ""},
      {"30", "!Unexpected EOF"},
      {"1F 81", "!Unexpected EOF"},
      {"30 82 01", "!Unexpected EOF"},
      {"30 03 04 05 01 02", "0:seq !Stream read error"},   // content cut by the end
      {"04 85 00 00 00 00 01 AA", "!Stream read error"},   // five length octets
      {"30 84 80 00 00 00", "!Stream read error"},         // 2^31
      {"30 84 7F FF FF FF 05 00", "!Stream read error"},   // an end beyond 2^31
  };
  for (auto [hex, walk] : cases) EXPECT_EQ(Walk(Hex(hex)), walk) << hex;
}

TEST(asn1_stream, constructed_elements_read_as_universal_sequence) {
  TStringStream stream(Hex("A1 05 31 80 04 01 AA 00 00"));
  TAsnParser parser(stream);
  TAsnElem* outer = parser.Next();
  TAsnElem* inner = parser.Next();
  ASSERT_TRUE(outer && inner);
  EXPECT_EQ(outer->Tag, 16u);
  EXPECT_EQ(outer->Class, acUniversal);
  EXPECT_EQ(outer->EndPosition, 7);
  EXPECT_FALSE(outer->Indefinite);
  EXPECT_TRUE(inner->Indefinite);
  EXPECT_EQ(outer->Count(), 0);  // children come from later calls
  TAsnElem* octets = parser.Next();
  EXPECT_EQ(octets->Class, acUniversal);
  EXPECT_EQ(octets->Content(), "\xAA");
  EXPECT_EQ(parser.Last(), octets);
  EXPECT_EQ(parser.Next(), nullptr);
}

TEST(asn1_stream, huge_claimed_length_allocates_little) {
  TStringStream stream(Hex("04 84 7F FF FF FF 01 02 03"));
  TAsnParser parser(stream);
  TAllocationProbe probe;
  EXPECT_THROW(parser.Next(), Exception);
  EXPECT_LE(gLargest, 256u * 1024);
}

TEST(asn1_stream, nesting_cap) {
  auto nested = [](int levels) {
    std::string s;
    for (int i = 0; i < levels; ++i) s += Hex("30 80");
    s += Hex("05 00");
    for (int i = 0; i < levels; ++i) s += Hex("00 00");
    return s;
  };
  std::string walk = Walk(nested(kMaxAsnDepth));
  EXPECT_EQ(walk.substr(walk.rfind(' ') + 1), std::to_string(kMaxAsnDepth) + ":u5");
  walk = Walk(nested(kMaxAsnDepth + 1));
  EXPECT_EQ(walk.substr(walk.rfind('!')), "!ASN.1 nesting too deep");
}

TEST(asn1_stream, sniffs_signed_data_in_the_first_100_octets) {
  std::string octets = ReadFile(std::string(TESSEL_CORPUS) + "/bc-test-data/rfc4134/4.1.bin");
  if (octets.empty()) GTEST_SKIP() << "no corpus";
  TStringStream stream(octets.substr(0, 100));
  TAsnParser parser(stream);
  EXPECT_EQ(parser.Next()->Tag, 16u);
  auto* oid = dynamic_cast<TOID*>(parser.Next());
  ASSERT_TRUE(oid);
  EXPECT_EQ(oid->Dotted(), "1.2.840.113549.1.7.2");
}

TEST(asn1_stream, arbitrary_octets_end_without_hanging) {
  for (int a = 0; a < 256; a += 3) {
    for (int b = 0; b < 256; b += 5) {
      std::string octets;
      for (int i = 0; i < 40; ++i) octets += {char(a), char(b)};
      EXPECT_LT(Walk(octets).size(), 2000u);
    }
  }
}
