// Definite-length writing of parsed trees, and SplitAsnChildren.
#include <gtest/gtest.h>

#include "AsnTestUtil.h"

using namespace tessel;
using namespace tessel::test;

TEST(asn1_write, round_trips_below_tag_31) {
  // Input, and the definite-length encoding when it differs.
  const std::pair<std::string, std::string> cases[] = {
      {Hex("01 01 FF"), ""}, {Hex("02 02 00 C3"), ""}, {Hex("03 03 00 0A 0B"), ""}, {Hex("05 00"), ""},
      {Hex("06 09 2A 86 48 86 F7 0D 01 07 02"), ""}, {Hex("1E 02 00 41"), ""}, {Hex("31 06 02 01 01 02 01 02"), ""},
      {Hex("30 00"), ""}, {Hex("41 01 00"), ""}, {Hex("7E 03 04 01 00"), ""}, {Hex("80 00"), ""},
      {Hex("A3 05 30 03 01 01 00"), ""}, {Hex("C5 01 09"), ""}, {Hex("E2 02 05 00"), ""},
      {Hex("04 7F") + std::string(127, 'a'), ""}, {Hex("04 81 80") + std::string(128, 'b'), ""},
      {Hex("04 82 01 00") + std::string(256, 'c'), ""}, {Hex("02 81 01 05"), Hex("02 01 05")},
      {Hex("30 83 01 00 05 04 83 01 00 00") + std::string(65536, 'd'), ""},
      {Hex("30 80 31 80 02 01 01 00 00 04 00 00 00"), Hex("30 07 31 03 02 01 01 04 00")},
      // High tag numbers are kept as 31, which writes as a well-formed high tag.
      {Hex("30 05 BF 2A 02 05 00"), Hex("30 05 BF 1F 02 05 00")},
  };
  for (const auto& [input, output] : cases) {
    auto root = Parse(input);
    ASSERT_TRUE(root) << ToHex(input.substr(0, 8));
    EXPECT_EQ(ToHex(Encode(*root)), ToHex(output.empty() ? input : output));
  }
  EXPECT_EQ(ToHex(Encode(TUnknown(200, acContext, "x"))), "9F 81 48 01 78");  // a tag number in two octets
}

TEST(asn1_write, sequence_encoding_fixed_at_first_use_blobs_and_base64) {
  TSeq seq;
  seq.Add(std::make_unique<TInt>("\x01", 1));
  EXPECT_EQ(seq.ContentLength(), 3);
  seq.Add(std::make_unique<TInt>("\x02", 1));
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
  const std::string caps = Hex("30 0F 30 05 06 03 2A 03 04 02 02 00 80 30 02 05 00");
  const std::string indef = Hex("30 80 30 80 02 01 07 00 00 04 01 AA 00 00 02 01 09");
  const struct {
    std::string Input;
    bool Whole;
    std::vector<std::string> Blobs;
  } cases[] = {
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
  for (const auto& c : cases) {
    std::vector<TBlobPtr> blobs;
    SplitAsnChildren(c.Input.data(), blobs, static_cast<int32_t>(c.Input.size()), c.Whole);
    std::vector<std::string> got;
    for (const auto& b : blobs) got.push_back(ToHex(std::string_view(reinterpret_cast<char*>(b->Data), b->Size)));
    EXPECT_EQ(got, c.Blobs) << ToHex(c.Input.substr(0, 6));
  }
}
