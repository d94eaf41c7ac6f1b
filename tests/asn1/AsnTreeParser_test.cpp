// Definite-length writing of parsed trees, and SplitAsnChildren.
#include <gtest/gtest.h>

#include "AsnTestUtil.h"

using namespace tessel;
using namespace tessel::test;

TEST(Asn1Write, round_trips_below_tag_31) {
  // Input, and the definite-length encoding when it differs ("" when not).
  std::vector<std::pair<std::string, std::string>> cases = {
      {FromHex("04 7F") + std::string(127, 'a'), ""},
      {FromHex("04 81 80") + std::string(128, 'b'), ""},
      {FromHex("04 82 01 00") + std::string(256, 'c'), ""},
      {FromHex("02 81 01 05"), FromHex("02 01 05")},
      {FromHex("30 83 01 00 05 04 83 01 00 00") + std::string(65536, 'd'), ""},
      {FromHex("30 80 31 80 02 01 01 00 00 04 00 00 00"), FromHex("30 07 31 03 02 01 01 04 00")},
      // High tag numbers are kept as 31, which writes as a well-formed high tag.
      {FromHex("30 05 BF 2A 02 05 00"), FromHex("30 05 BF 1F 02 05 00")}};
  for (const char* same : {"01 01 FF", "02 02 00 C3", "03 03 00 0A 0B", "05 00", "06 09 2A 86 48 86 F7 0D 01 07 02",
                           "1E 02 00 41", "31 06 02 01 01 02 01 02", "30 00", "41 01 00", "7E 03 04 01 00", "80 00",
                           "A3 05 30 03 01 01 00", "C5 01 09", "E2 02 05 00"})
    cases.emplace_back(FromHex(same), "");
  for (const auto& [input, output] : cases) {
    auto root = Parse(input);
    ASSERT_TRUE(root) << HexDump(input.substr(0, 8));
    EXPECT_EQ(HexDump(Encode(*root)), HexDump(output.empty() ? input : output));
  }
  EXPECT_EQ(HexDump(Encode(TUnknown(200, acContext, "x"))), "9F 81 48 01 78");  // a tag number in two octets
}

TEST(Asn1Write, sequence_encoding_fixed_at_first_use_blobs_and_base64) {
  TSeq seq;
  seq.Add(std::make_unique<TInt>("\x01", 1));
  EXPECT_EQ(seq.ContentLength(), 3);
  seq.Add(std::make_unique<TInt>("\x02", 1));
  EXPECT_EQ(HexDump(Encode(seq)), "30 03 02 01 01");
  EXPECT_EQ(HexDump(seq.Content()), "02 01 01");
  TStringStream limited;
  TUnknown(4, acUniversal, "abcdef").WriteContent(limited, 4);
  EXPECT_EQ(limited.DataString(), "abcd");
  // Encoded as a blob that parses again, and as base64 in lines of 76.
  auto root = Parse(FromHex("30 03 02 01 05"));
  TBlobPtr blob = root->GetEncoded();
  ASSERT_EQ(blob->Size, 5);
  EXPECT_EQ(HexDump(std::string_view(reinterpret_cast<char*>(blob->Data), 5)), "30 03 02 01 05");
  EXPECT_EQ(ParseAsnBlob(*blob)->Count(), 1);
  EXPECT_EQ(root->EncodedBase64(), "MAMCAQU=");
  EXPECT_EQ(TUnknown(4, acUniversal, std::string(100, '\0')).EncodedBase64().substr(76, 2), "\r\n");
}

TEST(Asn1Split, children_of_the_outer_element) {
  const std::string caps = FromHex("30 0F 30 05 06 03 2A 03 04 02 02 00 80 30 02 05 00");
  const std::string indef = FromHex("30 80 30 80 02 01 07 00 00 04 01 AA 00 00 02 01 09");
  const struct {
    std::string Input;
    bool Whole;
    std::vector<std::string> Blobs;
  } cases[] = {{FromHex("31 0F 17 0D") + "230415120000Z", false, {HexDump("230415120000Z")}},  // a signing time
               {caps, true, {"30 05 06 03 2A 03 04", "00 80", "30 02 05 00"}},  // whole only if constructed
               {caps, false, {"06 03 2A 03 04", "00 80", "05 00"}},
               {FromHex("04 03 01 02 03"), true, {"01 02 03"}},            // primitive outer
               {FromHex("30 08 02 01 01 02 05 01 02 03"), false, {"01"}},  // stops at a child too long
               {FromHex("30 09 02 01 01"), false, {}},                     // outer longer than the data
               {FromHex("30 85 00 00 00 00 03 02 01 05"), false, {}},
               {FromHex("30 03 02 01 01 02 01 02"), false, {"01"}},  // octets after the outer element are no children
               {indef, true, {"30 80 02 01 07 00 00", "AA"}},
               {indef, false, {"02 01 07", "AA"}},
               {FromHex("30 80 04 01 AA 30 80 02 01 07"), false, {"AA"}},  // a child cut off before its marker
               {NestedIndefinite(kMaxAsnDepth + 5), true, {}}};
  for (const auto& c : cases) {
    std::vector<TBlobPtr> blobs;
    SplitAsnChildren(c.Input.data(), blobs, static_cast<int32_t>(c.Input.size()), c.Whole);
    std::vector<std::string> got;
    for (const auto& b : blobs) got.push_back(HexDump(std::string_view(reinterpret_cast<char*>(b->Data), b->Size)));
    EXPECT_EQ(got, c.Blobs) << HexDump(c.Input.substr(0, 6));
  }
}
