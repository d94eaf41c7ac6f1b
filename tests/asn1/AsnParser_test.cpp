// TAsnParser, the streaming reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "AllocationProbe.h"
#include "AsnTestUtil.h"
#include "asn1/asn1.h"
#include "util/Exception.h"

using namespace tessel;
using tessel::test::Hex;
using tessel::test::ToHex;

namespace {

// "SEQ", "INT" and so on for each element Next returns, with its nesting
// level, until the end.
std::vector<std::string> Walk(const std::string& octets) {
  TStringStream stream(octets);
  TAsnParser parser(stream);
  std::vector<std::string> out;
  while (TAsnElem* e = parser.Next()) {
    std::string kind = dynamic_cast<TSeq*>(e) ? "seq" : dynamic_cast<TOID*>(e) ? "oid" : "unknown";
    out.push_back(std::to_string(parser.LastDepth()) + " " + kind + " " + std::to_string(e->Tag));
    if (out.size() > 1000) break;
  }
  return out;
}

std::string ErrorOf(const std::string& octets) {
  TStringStream stream(octets);
  TAsnParser parser(stream);
  try {
    for (int i = 0; i < 1000 && parser.Next(); ++i) {
    }
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(asn1_stream, indefinite_sequence_then_integer_then_nothing) {
  TStringStream stream(Hex("30 80 02 01 01 00 00"));
  TAsnParser parser(stream);
  TAsnElem* seq = parser.Next();
  ASSERT_TRUE(dynamic_cast<TSeq*>(seq));
  EXPECT_TRUE(seq->Indefinite);
  EXPECT_EQ(seq->Count(), 0);  // children come from later calls
  TAsnElem* i = parser.Next();
  ASSERT_TRUE(dynamic_cast<TUnknown*>(i));  // INTEGER is not interpreted here
  EXPECT_EQ(i->Tag, 2u);
  EXPECT_EQ(ToHex(std::string(i->Content())), "01");
  EXPECT_EQ(parser.Next(), nullptr);
  EXPECT_EQ(stream.GetPosition(), 7);
  EXPECT_EQ(parser.Last(), i);
}

TEST(asn1_stream, next_element_starts_after_null) {
  TStringStream stream(Hex("05 00 06 03 2A 03 04"));
  TAsnParser parser(stream);
  TAsnElem* null = parser.Next();
  ASSERT_TRUE(null);
  EXPECT_EQ(null->Tag, 5u);
  EXPECT_EQ(null->ContentLength(), 0);
  EXPECT_EQ(stream.GetPosition(), 2);
  auto* oid = dynamic_cast<TOID*>(parser.Next());
  ASSERT_TRUE(oid);
  EXPECT_EQ(oid->Dotted(), "1.2.3.4");
  EXPECT_EQ(parser.Next(), nullptr);
}

TEST(asn1_stream, document_order_with_nesting_levels) {
  // SEQUENCE { SEQUENCE { OID }, [0] { } , INTEGER } then a sibling NULL.
  EXPECT_EQ(Walk(Hex("30 0B 30 04 06 02 2A 03 A0 00 02 01 07 05 00")),
            (Strings{"0 seq 16", "1 seq 16", "2 oid 6", "1 seq 16", "1 unknown 2", "0 unknown 5"}));
}

TEST(asn1_stream, definite_parent_closes_after_indefinite_child) {
  EXPECT_EQ(Walk(Hex("30 09 30 80 02 01 01 00 00 02 01 02 02 01 03")),
            (Strings{"0 seq 16", "1 seq 16", "2 unknown 2", "1 unknown 2", "0 unknown 2"}));
}

TEST(asn1_stream, constructed_elements_read_as_universal_sequence) {
  TStringStream stream(Hex("A1 03 31 01 05"));
  TAsnParser parser(stream);
  TAsnElem* outer = parser.Next();
  ASSERT_TRUE(outer);
  EXPECT_EQ(outer->Tag, 16u);
  EXPECT_EQ(outer->Class, 0);
  EXPECT_FALSE(outer->Indefinite);
  EXPECT_EQ(outer->EndPosition, 5);
  EXPECT_EQ(parser.Depth(), 1);
}

TEST(asn1_stream, primitive_class_is_kept_but_oid_class_is_universal) {
  TStringStream stream(Hex("84 01 AA 86 01 2A"));
  TAsnParser parser(stream);
  TAsnElem* a = parser.Next();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Class, acContext);
  TAsnElem* b = parser.Next();
  ASSERT_TRUE(dynamic_cast<TOID*>(b));
  EXPECT_EQ(b->Class, acUniversal);
}

TEST(asn1_stream, outermost_end_marker_ends_the_reading) {
  TStringStream stream(Hex("30 80 00 00 02 01 01"));
  TAsnParser parser(stream);
  ASSERT_TRUE(parser.Next());
  EXPECT_EQ(parser.Next(), nullptr);
  EXPECT_EQ(stream.GetPosition(), 4);
}

TEST(asn1_stream, end_marker_without_open_indefinite_is_an_element) {
  EXPECT_EQ(Walk(Hex("00 00 00 00")), (Strings{"0 unknown 0", "0 unknown 0"}));
}

TEST(asn1_stream, overlong_child_still_lets_the_outer_marker_close) {
  // The inner SEQUENCE claims one octet but its child takes three; it closes
  // once the position passes its end, and 00 00 then ends the outer one.
  EXPECT_EQ(Walk(Hex("30 80 30 01 02 01 05 00 00 05 00")), (Strings{"0 seq 16", "1 seq 16", "2 unknown 2"}));
}

TEST(asn1_stream, empty_stream_gives_nothing) {
  TStringStream stream;
  TAsnParser parser(stream);
  EXPECT_EQ(parser.Next(), nullptr);
  EXPECT_EQ(parser.Last(), nullptr);
}

TEST(asn1_stream, errors) {
  EXPECT_EQ(ErrorOf(Hex("30")), "Unexpected EOF");
  EXPECT_EQ(ErrorOf(Hex("1F 81")), "Unexpected EOF");         // inside high tag octets
  EXPECT_EQ(ErrorOf(Hex("30 82 01")), "Unexpected EOF");      // inside length octets
  EXPECT_EQ(ErrorOf(Hex("04 05 01 02")), "Stream read error");  // inside content
  EXPECT_EQ(ErrorOf(Hex("06 05 2A")), "Stream read error");
  EXPECT_EQ(ErrorOf(Hex("04 85 00 00 00 00 01 AA")), "Stream read error");  // five length octets
  EXPECT_EQ(ErrorOf(Hex("30 84 80 00 00 00")), "Stream read error");        // 2^31
  EXPECT_EQ(ErrorOf(Hex("30 84 7F FF FF FF 05 00")), "Stream read error");  // end past 2^31
  EXPECT_EQ(ErrorOf(Hex("30 03 02 01 05")), "");
}

TEST(asn1_stream, huge_claimed_length_allocates_little) {
  std::string octets = Hex("04 84 7F FF FF FF 01 02 03");
  TStringStream stream(octets);
  TAsnParser parser(stream);
  tessel::test::TAllocationProbe probe;
  EXPECT_THROW(parser.Next(), Exception);
  EXPECT_LE(probe.Largest(), 256u * 1024);
}

TEST(asn1_stream, nesting_cap) {
  auto nested = [](int levels) {
    std::string s;
    for (int i = 0; i < levels; ++i) s += Hex("30 80");
    s += Hex("05 00");
    for (int i = 0; i < levels; ++i) s += Hex("00 00");
    return s;
  };
  EXPECT_EQ(ErrorOf(nested(kMaxAsnDepth)), "");
  EXPECT_EQ(Walk(nested(kMaxAsnDepth)).back(), std::to_string(kMaxAsnDepth) + " unknown 5");
  EXPECT_EQ(ErrorOf(nested(kMaxAsnDepth + 1)), "ASN.1 nesting too deep");
}

TEST(asn1_stream, zero_length_constructed_closes_at_once) {
  TStringStream stream(Hex("30 00 02 01 01"));
  TAsnParser parser(stream);
  ASSERT_TRUE(parser.Next());
  EXPECT_EQ(parser.Depth(), 0);
  TAsnElem* i = parser.Next();
  ASSERT_TRUE(i);
  EXPECT_EQ(parser.LastDepth(), 0);
}

TEST(asn1_stream, reading_starts_at_the_stream_position) {
  TStringStream stream(Hex("FF FF 02 01 09"));
  stream.SetPosition(2);
  TAsnParser parser(stream);
  TAsnElem* e = parser.Next();
  ASSERT_TRUE(e);
  EXPECT_EQ(ToHex(std::string(e->Content())), "09");
}

TEST(asn1_stream, sniffs_signed_data_from_the_first_two_elements) {
  std::string path = std::string(TESSEL_CORPUS) + "/bc-test-data/rfc4134/4.1.bin";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  TStringStream stream(s.str().substr(0, 100));  // a body's first 100 octets
  TAsnParser parser(stream);
  TAsnElem* first = parser.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Tag, 16u);
  auto* second = dynamic_cast<TOID*>(parser.Next());
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Dotted(), "1.2.840.113549.1.7.2");
}

TEST(asn1_stream, arbitrary_octets_end_without_hanging) {
  // Every two-octet pattern and a run of each, read to the end or an error.
  for (int a = 0; a < 256; a += 3) {
    for (int b = 0; b < 256; b += 5) {
      std::string octets;
      for (int i = 0; i < 40; ++i) {
        octets += char(a);
        octets += char(b);
      }
      TStringStream stream(octets);
      TAsnParser parser(stream);
      int n = 0;
      try {
        while (parser.Next()) ASSERT_LT(++n, 100);
      } catch (const Exception&) {
      }
    }
  }
}
