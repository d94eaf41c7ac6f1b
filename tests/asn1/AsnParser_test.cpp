// TAsnParser, the streaming reader.
#include <gtest/gtest.h>

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
      // Constructed elements of every class read as SEQUENCEs without children.
      {"A1 05 31 80 04 01 AA 00 00", "0:seq 1:seq 2:u4"},
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

TEST(asn1_stream, nesting_cap) {
  std::string walk = Walk(NestedIndefinite(kMaxAsnDepth));
  EXPECT_EQ(walk.substr(walk.rfind(' ') + 1), std::to_string(kMaxAsnDepth) + ":u5");
  walk = Walk(NestedIndefinite(kMaxAsnDepth + 1));
  EXPECT_EQ(walk.substr(walk.rfind('!')), "!ASN.1 nesting too deep");
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
