// The tree parser, definite-length writing and SplitAsnChildren.
#include <gtest/gtest.h>

#include "AllocationProbe.h"
#include "AsnTestUtil.h"
#include "util/Exception.h"

using namespace tessel;
using namespace tessel::test;

TEST(asn1_tree, element_classes_from_the_tag_number_alone) {
  // INTEGER and OBJECT IDENTIFIER numbers give TInt and TOID in any class;
  // other primitives are TUnknown.
  auto root = Parse(Hex("30 0B 02 01 05 82 01 07 86 01 2A 05 00"));
  ASSERT_TRUE(root && dynamic_cast<TSeq*>(root.get()));
  ASSERT_EQ(root->Count(), 4);
  EXPECT_TRUE(dynamic_cast<TInt*>(root->Items(0)) && dynamic_cast<TInt*>(root->Items(1)));
  EXPECT_TRUE(dynamic_cast<TOID*>(root->Items(2)));
  EXPECT_EQ(root->Items(2)->Class, acContext);
  EXPECT_TRUE(dynamic_cast<TUnknown*>(root->Items(3)));
  EXPECT_EQ(root->Items(4), nullptr);
  EXPECT_EQ(root->Items(0)->Content(), "\x05");
}

TEST(asn1_tree, octets_taken_or_refused) {
  // Octets the first element takes; -1 where the input gives no tree.
  const std::pair<const char*, int32_t> cases[] = {
      {"30 80 02 01 01 00 00", 7},      // the end marker is consumed
      {"02 01 05 FF FF 00", 3},         // trailing octets are ignored
      {"30 02 00 00", 4},               // 00 00 outside indefinite length is an element
      {"BF 81 82 03 02 05 00 AA", 7},   // tag octets up to one with bit 8 clear
      {"04 84 00 00 00 01 AA", 7},      // non-minimal length
      {"", -1}, {"30", -1}, {"1F 81", -1}, {"30 82 01", -1},  // cut in identifier or length
      {"30 05 02 01 01", -1},             // content claims more than remains
      {"30 04 02 01 01 00", -1},          // child leaves one octet of its parent unused
      {"30 03 02 05 01", -1},             // child longer than its parent
      {"30 80 02 01 01", -1},             // indefinite length without its end marker
      {"30 80 02 05 01 00 00", -1},       // malformed child inside indefinite length
      {"A0 0A 30 80 02 01 01 00 00", -1}, // definite parent ends inside indefinite child
      {"30 85 00 00 00 00 03 02 01 05", -1},  // five length octets
      {"30 84 80 00 00 00", -1},              // a length of 2^31
  };
  for (auto [hex, expected] : cases) {
    std::string octets = Hex(hex);
    int32_t used = -1;
    bool parsed = ParseAsn(octets.data(), static_cast<int32_t>(octets.size()), &used) != nullptr;
    EXPECT_EQ(parsed ? used : -1, expected) << hex;
  }
}

TEST(asn1_tree, every_truncation_gives_nothing) {
  std::string octets = Hex("30 80 06 03 2A 03 04 A0 80 31 0C 02 01 01 13 02 41 42 9F 2A 02 00 01 00 00 04 81 80") +
                       std::string(128, 'x') + Hex("00 00");
  ASSERT_TRUE(Parse(octets));
  for (size_t n = 0; n < octets.size(); ++n) EXPECT_FALSE(Parse(octets.substr(0, n))) << n;
}

TEST(asn1_tree, huge_claimed_length_allocates_little_in_both_parsers) {
  TStringStream stream(Hex("04 84 7F FF FF FF 01 02 03"));
  TAsnParser parser(stream);
  TAllocationProbe probe;
  EXPECT_FALSE(Parse(Hex("04 84 7F FF FF FF")));
  EXPECT_LT(gLargest, 4096u);
  EXPECT_THROW(parser.Next(), Exception);
  EXPECT_LE(gLargest, 256u * 1024);
}

TEST(asn1_tree, nesting_cap) {
  // NULL inside levels SEQUENCEs of definite length (two length octets at most).
  auto definite = [](int levels) {
    std::string s = Hex("05 00");
    for (int i = 0; i < levels; ++i) {
      int n = static_cast<int>(s.size());
      s = (n < 128 ? Hex("30") + char(n) : Hex("30 82") + char(n >> 8) + char(n & 0xFF)) + s;
    }
    return s;
  };
  // kMaxAsnDepth levels in all (the NULL is one) parse; one more does not.
  EXPECT_TRUE(Parse(definite(kMaxAsnDepth - 1)));
  EXPECT_FALSE(Parse(definite(kMaxAsnDepth)));
  EXPECT_TRUE(Parse(NestedIndefinite(kMaxAsnDepth - 1)));
  EXPECT_FALSE(Parse(NestedIndefinite(kMaxAsnDepth)));
  EXPECT_FALSE(Parse(NestedIndefinite(100000)));
}

TEST(asn1_write, round_trips_below_tag_31) {
  // Input, and the definite-length encoding when it differs.
  const std::pair<std::string, std::string> cases[] = {
      {Hex("01 01 FF"), ""}, {Hex("02 02 00 C3"), ""}, {Hex("03 03 00 0A 0B"), ""}, {Hex("05 00"), ""},
      {Hex("06 09 2A 86 48 86 F7 0D 01 07 02"), ""}, {Hex("1E 02 00 41"), ""}, {Hex("31 06 02 01 01 02 01 02"), ""},
      {Hex("30 00"), ""}, {Hex("41 01 00"), ""}, {Hex("7E 03 04 01 00"), ""}, {Hex("80 00"), ""},
      {Hex("A3 05 30 03 01 01 00"), ""}, {Hex("C5 01 09"), ""}, {Hex("E2 02 05 00"), ""},
      {Hex("04 7F") + std::string(127, 'a'), ""}, {Hex("04 81 80") + std::string(128, 'b'), ""},
      {Hex("04 82 01 00") + std::string(256, 'c'), ""},
      {Hex("30 83 01 00 05 04 83 01 00 00") + std::string(65536, 'd'), ""},
      {Hex("02 81 01 05"), Hex("02 01 05")},
      {Hex("30 80 31 80 02 01 01 00 00 04 00 00 00"), Hex("30 07 31 03 02 01 01 04 00")},
      // High tag numbers are kept as 31, which writes as a well-formed high tag.
      {Hex("30 05 BF 2A 02 05 00"), Hex("30 05 BF 1F 02 05 00")},
  };
  for (const auto& [input, output] : cases) {
    auto root = Parse(input);
    ASSERT_TRUE(root) << ToHex(input.substr(0, 8));
    EXPECT_EQ(ToHex(Encode(*root)), ToHex(output.empty() ? input : output));
  }
  std::string octets = Encode(TUnknown(4, acUniversal, std::string(300, '\x11')));
  EXPECT_EQ(ToHex(octets.substr(0, 4)), "04 82 01 2C");
  EXPECT_EQ(octets.size(), 304u);
  EXPECT_EQ(ToHex(Encode(TUnknown(200, acContext, "x"))), "9F 81 48 01 78");
}

TEST(asn1_write, sequence_encoding_fixed_at_first_use_blobs_and_base64) {
  TSeq seq;
  seq.Add(std::make_unique<TInt>("\x01", 1));
  EXPECT_EQ(seq.ContentLength(), 3);
  seq.Add(std::make_unique<TInt>("\x02", 1));
  EXPECT_EQ(seq.Count(), 2);
  EXPECT_EQ(ToHex(Encode(seq)), "30 03 02 01 01");
  EXPECT_EQ(ToHex(seq.Content()), "02 01 01");
  TStringStream limited;
  TUnknown(4, acUniversal, "abcdef").WriteContent(limited, 4);
  EXPECT_EQ(limited.DataString(), "abcd");
  // Encoded as a blob that parses again, and as base64 in lines of 76.
  auto root = Parse(Hex("30 03 02 01 05"));
  TBlobPtr blob = root->GetEncoded();
  ASSERT_EQ(blob->Size, 5);
  EXPECT_EQ(ToHex(std::string_view(reinterpret_cast<char*>(blob->Data), 5)), "30 03 02 01 05");
  EXPECT_EQ(ParseAsnBlob(*blob)->Count(), 1);
  EXPECT_EQ(root->EncodedBase64(), "MAMCAQU=");
  EXPECT_EQ(TUnknown(4, acUniversal, std::string(100, '\0')).EncodedBase64().substr(76, 2), "\r\n");
}

TEST(asn1_split, children_of_the_outer_element) {
  struct TCase {
    std::string Input;
    bool Whole;
    std::vector<std::string> Blobs;
  };
  const std::string caps = Hex("30 0F 30 05 06 03 2A 03 04 02 02 00 80 30 02 05 00");
  const std::string indef = Hex("30 80 30 80 02 01 07 00 00 04 01 AA 00 00 02 01 09");
  const TCase cases[] = {
      {Hex("31 0F 17 0D") + "230415120000Z", false, {ToHex("230415120000Z")}},  // a signing time
      {caps, true, {"30 05 06 03 2A 03 04", "00 80", "30 02 05 00"}},          // whole only if constructed
      {caps, false, {"06 03 2A 03 04", "00 80", "05 00"}},
      {Hex("04 03 01 02 03"), true, {"01 02 03"}},                             // primitive outer
      {Hex("30 08 02 01 01 02 05 01 02 03"), false, {"01"}},                   // stops at a child too long
      {Hex("30 09 02 01 01"), false, {}},                                      // outer longer than the data
      {Hex("30 85 00 00 00 00 03 02 01 05"), false, {}},
      {Hex("30 03 02 01 01 02 01 02"), false, {"01"}},  // octets after the outer element are no children
      {indef, true, {"30 80 02 01 07 00 00", "AA"}},
      {indef, false, {"02 01 07", "AA"}},
      {Hex("30 80 04 01 AA 30 80 02 01 07"), false, {"AA"}},  // a child cut off before its marker
      {NestedIndefinite(kMaxAsnDepth + 5), true, {}},
  };
  for (const TCase& c : cases) {
    std::vector<TBlobPtr> blobs;
    SplitAsnChildren(c.Input.data(), blobs, static_cast<int32_t>(c.Input.size()), c.Whole);
    std::vector<std::string> got;
    for (const auto& b : blobs) got.push_back(ToHex(std::string_view(reinterpret_cast<char*>(b->Data), b->Size)));
    EXPECT_EQ(got, c.Blobs) << ToHex(c.Input.substr(0, 6));
  }
}
