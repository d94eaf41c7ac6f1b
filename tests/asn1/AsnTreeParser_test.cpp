// The tree parser, definite-length writing and SplitAsnChildren.
#include <gtest/gtest.h>

#include "AllocationProbe.h"
#include "AsnTestUtil.h"

using namespace tessel;
using namespace tessel::test;

namespace {

std::string Nested(int levels, bool indefinite) {
  std::string s;
  for (int i = 0; i < levels; ++i) s += indefinite ? Hex("30 80") : "";
  s += Hex("05 00");
  for (int i = 0; i < levels; ++i) {
    if (indefinite) {
      s += Hex("00 00");
    } else {  // few enough levels for two length octets
      int n = static_cast<int>(s.size());
      s = (n < 128 ? Hex("30") + char(n) : Hex("30 82") + char(n >> 8) + char(n & 0xFF)) + s;
    }
  }
  return s;
}

}  // namespace

TEST(asn1_tree, classes_tags_and_content) {
  auto seq = Parse(Hex("30 03 02 01 05"));
  ASSERT_TRUE(dynamic_cast<TSeq*>(seq.get()));
  EXPECT_EQ(seq->Tag, 16u);
  EXPECT_TRUE(seq->Constructed);
  ASSERT_EQ(seq->Count(), 1);
  EXPECT_TRUE(dynamic_cast<TInt*>(seq->Items(0)));
  EXPECT_EQ(seq->Items(0)->Content(), "\x05");
  EXPECT_EQ(seq->Items(1), nullptr);

  auto cont = Parse(Hex("A0 03 02 01 00"));
  EXPECT_EQ(cont->Tag, 0u);
  EXPECT_EQ(cont->Class, acContext);
  // The tag number alone picks the class: context [2] and [6] are TInt and TOID.
  auto ctx = Parse(Hex("30 06 82 01 07 86 01 2A"));
  EXPECT_TRUE(dynamic_cast<TInt*>(ctx->Items(0)));
  EXPECT_TRUE(dynamic_cast<TOID*>(ctx->Items(1)));
  EXPECT_EQ(ctx->Items(1)->Class, acContext);

  auto high = Parse(Hex("9F 2A 01 00"));
  EXPECT_EQ(high->Class, acContext);
  EXPECT_EQ(high->Tag, 31u);
  EXPECT_EQ(high->ContentLength(), 1);
  auto null = Parse(Hex("05 00"));
  EXPECT_TRUE(dynamic_cast<TUnknown*>(null.get()));
  EXPECT_EQ(null->ContentLength(), 0);
}

TEST(asn1_tree, octets_taken) {
  const std::pair<const char*, int32_t> cases[] = {
      {"30 80 02 01 01 00 00", 7},      // the end marker is consumed
      {"02 01 05 FF FF 00", 3},         // trailing octets are ignored
      {"30 02 00 00", 4},               // 00 00 outside indefinite length is an element
      {"BF 81 82 03 02 05 00 AA", 7},   // tag octets up to one with bit 8 clear
      {"04 84 00 00 00 01 AA", 7},      // non-minimal length
  };
  for (auto [hex, expected] : cases) {
    std::string octets = Hex(hex);
    int32_t used = -1;
    EXPECT_TRUE(ParseAsn(octets.data(), static_cast<int32_t>(octets.size()), &used)) << hex;
    EXPECT_EQ(used, expected) << hex;
  }
}

TEST(asn1_tree, malformed_inputs_give_nothing) {
  const char* cases[] = {
      "", "30", "1F 81", "30 82 01",    // cut inside identifier or length octets
      "30 05 02 01 01",                 // content claims more than remains
      "30 04 02 01 01 00",              // child leaves one octet of its parent unused
      "30 03 02 05 01",                 // child longer than its parent
      "30 80 02 01 01",                 // indefinite length without its end marker
      "30 80 02 05 01 00 00",           // malformed child inside indefinite length
      "A0 0A 30 80 02 01 01 00 00",     // definite parent ends inside indefinite child
      "30 85 00 00 00 00 03 02 01 05",  // five length octets
      "30 84 80 00 00 00",              // a length of 2^31
  };
  for (const char* c : cases) EXPECT_FALSE(Parse(Hex(c))) << c;
}

TEST(asn1_tree, every_truncation_gives_nothing) {
  std::string octets = Hex("30 80 06 03 2A 03 04 A0 80 31 0C 02 01 01 13 02 41 42 9F 2A 02 00 01 00 00 04 81 80") +
                       std::string(128, 'x') + Hex("00 00");
  ASSERT_TRUE(Parse(octets));
  for (size_t n = 0; n < octets.size(); ++n) EXPECT_FALSE(Parse(octets.substr(0, n))) << n;
}

TEST(asn1_tree, huge_claimed_length_allocates_nothing) {
  TAllocationProbe probe;
  EXPECT_FALSE(Parse(Hex("04 84 7F FF FF FF")));
  EXPECT_LT(gLargest, 4096u);
}

TEST(asn1_tree, nesting_cap) {
  // Nested(n) holds n + 1 levels.
  for (bool indefinite : {false, true}) {
    EXPECT_TRUE(Parse(Nested(kMaxAsnDepth - 1, indefinite)));
    EXPECT_FALSE(Parse(Nested(kMaxAsnDepth, indefinite)));
  }
  EXPECT_FALSE(Parse(Nested(100000, true)));
  for (const char* name : {"nested_seq.der", "nested_seq_indef.ber"}) {
    std::string octets = ReadFile(std::string(TESSEL_CORPUS) + "/bc-test-data/asn1/" + name);
    if (octets.empty()) GTEST_SKIP() << "no corpus";
    EXPECT_FALSE(Parse(octets)) << name;
  }
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

TEST(asn1_write, sequence_encoding_is_fixed_at_first_use) {
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
}

TEST(asn1_write, encoded_blob_and_base64) {
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
      {Nested(kMaxAsnDepth + 5, true), true, {}},
  };
  for (const TCase& c : cases) {
    std::vector<TBlobPtr> blobs;
    SplitAsnChildren(c.Input.data(), blobs, static_cast<int32_t>(c.Input.size()), c.Whole);
    std::vector<std::string> got;
    for (const auto& b : blobs) got.push_back(ToHex(std::string_view(reinterpret_cast<char*>(b->Data), b->Size)));
    EXPECT_EQ(got, c.Blobs) << ToHex(c.Input.substr(0, 6));
  }
}
