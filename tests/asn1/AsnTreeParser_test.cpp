// The tree parser, definite-length writing and SplitAsnChildren.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "AllocationProbe.h"
#include "AsnTestUtil.h"
#include "asn1/asn1.h"

using namespace tessel;
using tessel::test::Encode;
using tessel::test::Hex;
using tessel::test::Parse;
using tessel::test::ToHex;

namespace {

std::string Nested(int levels, bool indefinite) {
  if (indefinite) {
    std::string s;
    for (int i = 0; i < levels; ++i) s += Hex("30 80");
    s += Hex("05 00");
    for (int i = 0; i < levels; ++i) s += Hex("00 00");
    return s;
  }
  std::string inner = Hex("05 00");  // levels stay few enough for two length octets
  for (int i = 0; i < levels; ++i) {
    int32_t n = static_cast<int32_t>(inner.size());
    std::string header = n < 128 ? Hex("30") + char(n) : Hex("30 82") + char(n >> 8) + char(n & 0xFF);
    inner = header + inner;
  }
  return inner;
}

std::string ReadCorpus(const std::string& relative) {
  std::ifstream in(std::string(TESSEL_CORPUS) + "/" + relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

// --- shapes of single elements ----------------------------------------------

TEST(asn1_tree, sequence_with_integer) {
  auto root = Parse(Hex("30 03 02 01 05"));
  ASSERT_TRUE(root);
  auto* seq = dynamic_cast<TSeq*>(root.get());
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->Tag, 16u);
  EXPECT_EQ(seq->Class, 0);
  EXPECT_TRUE(seq->Constructed);
  ASSERT_EQ(seq->Count(), 1);
  auto* i = dynamic_cast<TInt*>(seq->Items(0));
  ASSERT_TRUE(i);
  EXPECT_EQ(ToHex(std::string(i->Content())), "05");
  EXPECT_EQ(seq->Items(1), nullptr);
  EXPECT_EQ(seq->Items(-1), nullptr);
}

TEST(asn1_tree, context_tag_keeps_number_and_class) {
  std::string octets = Hex("A0 03 02 01 00");
  auto root = Parse(octets);
  ASSERT_TRUE(root);
  EXPECT_TRUE(dynamic_cast<TSeq*>(root.get()));
  EXPECT_EQ(root->Tag, 0u);
  EXPECT_EQ(root->Class, acContext);
  EXPECT_EQ(ToHex(Encode(*root)), ToHex(octets));
}

TEST(asn1_tree, tag_number_alone_picks_the_class) {
  // Context-specific [2] and [6] primitives become TInt and TOID.
  auto root = Parse(Hex("30 06 82 01 07 86 01 2A"));
  ASSERT_TRUE(root);
  ASSERT_EQ(root->Count(), 2);
  EXPECT_TRUE(dynamic_cast<TInt*>(root->Items(0)));
  EXPECT_EQ(root->Items(0)->Class, acContext);
  EXPECT_TRUE(dynamic_cast<TOID*>(root->Items(1)));
  EXPECT_EQ(root->Items(1)->Class, acContext);
}

TEST(asn1_tree, null_and_other_primitives_are_unknown) {
  auto null = Parse(Hex("05 00"));
  ASSERT_TRUE(dynamic_cast<TUnknown*>(null.get()));
  EXPECT_EQ(null->ContentLength(), 0);
  auto str = Parse(Hex("13 04 54 65 73 74"));
  ASSERT_TRUE(dynamic_cast<TUnknown*>(str.get()));
  EXPECT_EQ(str->Content(), "Test");
}

TEST(asn1_tree, high_tag_number_reads_as_31) {
  auto root = Parse(Hex("9F 2A 01 00"));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Class, acContext);
  EXPECT_EQ(root->Tag, 31u);
  EXPECT_EQ(root->ContentLength(), 1);
  // Several tag octets: all consumed up to the one with bit 8 clear.
  auto longer = Parse(Hex("30 07 BF 81 82 03 02 05 00"));
  ASSERT_TRUE(longer);
  ASSERT_EQ(longer->Count(), 1);
  EXPECT_EQ(longer->Items(0)->Tag, 31u);
  EXPECT_TRUE(longer->Items(0)->Constructed);
}

// --- how much is read ---------------------------------------------------------

TEST(asn1_tree, indefinite_length_consumes_its_end_marker) {
  std::string octets = Hex("30 80 02 01 01 00 00");
  int32_t used = 0;
  auto root = ParseAsn(octets.data(), static_cast<int32_t>(octets.size()), &used);
  ASSERT_TRUE(root);
  EXPECT_EQ(used, 7);
  ASSERT_EQ(root->Count(), 1);
  EXPECT_TRUE(dynamic_cast<TInt*>(root->Items(0)));
  EXPECT_FALSE(root->Indefinite);  // only the streaming parser records it
}

TEST(asn1_tree, nested_indefinite_lengths_reencode_definite) {
  auto root = Parse(Hex("30 80 31 80 02 01 01 00 00 04 00 00 00"));
  ASSERT_TRUE(root);
  ASSERT_EQ(root->Count(), 2);
  EXPECT_EQ(root->Items(0)->Tag, 17u);
  EXPECT_EQ(ToHex(Encode(*root)), "30 07 31 03 02 01 01 04 00");
}

TEST(asn1_tree, trailing_octets_are_ignored) {
  std::string octets = Hex("02 01 05 FF FF 00");
  int32_t used = 0;
  auto root = ParseAsn(octets.data(), static_cast<int32_t>(octets.size()), &used);
  ASSERT_TRUE(root);
  EXPECT_EQ(used, 3);
}

TEST(asn1_tree, end_marker_outside_indefinite_is_an_element) {
  auto root = Parse(Hex("30 02 00 00"));
  ASSERT_TRUE(root);
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0)->Tag, 0u);
  EXPECT_EQ(root->Items(0)->ContentLength(), 0);
}

TEST(asn1_tree, non_minimal_length_is_read) {
  auto root = Parse(Hex("02 81 01 05"));
  ASSERT_TRUE(root);
  EXPECT_EQ(ToHex(Encode(*root)), "02 01 05");
  EXPECT_TRUE(Parse(Hex("04 84 00 00 00 01 AA")));
}

// --- malformed input gives nothing, never a partial tree ------------------------

TEST(asn1_tree, malformed_inputs_give_nothing) {
  const char* cases[] = {
      "",                             // nothing at all
      "30",                           // identifier only
      "1F 81",                        // cut inside high tag octets
      "30 82 01",                     // cut inside length octets
      "30 05 02 01 01",               // content claims more than remains
      "30 04 02 01 01 00",            // child leaves one octet of the parent unused
      "30 03 02 05 01",               // child longer than its parent
      "30 80 02 01 01",               // indefinite length without its end marker
      "30 80 02 05 01 00 00",         // malformed child inside indefinite length
      "30 80 30 80 02 01 01 00 00",   // inner marker present, outer missing
      "30 85 00 00 00 00 03 02 01 05",  // five length octets
      "30 84 80 00 00 00",            // length of 2^31
      "A0 0A 30 80 02 01 01 00 00",   // definite parent ends inside indefinite child
  };
  for (const char* c : cases) EXPECT_FALSE(Parse(Hex(c))) << c;
}

TEST(asn1_tree, every_truncation_of_a_structure_gives_nothing) {
  // Definite and indefinite lengths, a long-form length and a high tag.
  std::string octets =
      Hex("30 80 06 03 2A 03 04 A0 80 31 0C 02 01 01 13 02 41 42 9F 2A 02 00 01 00 00 04 81 80") +
      std::string(128, 'x') + Hex("00 00");
  ASSERT_TRUE(Parse(octets));
  for (size_t n = 0; n < octets.size(); ++n) EXPECT_FALSE(Parse(octets.substr(0, n))) << n;
}

TEST(asn1_tree, huge_claimed_length_allocates_nothing) {
  std::string octets = Hex("04 84 7F FF FF FF");
  tessel::test::TAllocationProbe probe;
  EXPECT_FALSE(Parse(octets));
  EXPECT_LT(probe.Largest(), 4096u);
}

// --- nesting cap ----------------------------------------------------------------

TEST(asn1_tree, nesting_up_to_the_cap_is_read) {
  // Nested(n) has n SEQUENCEs around a NULL: n + 1 levels.
  EXPECT_TRUE(Parse(Nested(kMaxAsnDepth - 1, false)));
  EXPECT_TRUE(Parse(Nested(kMaxAsnDepth - 1, true)));
}

TEST(asn1_tree, nesting_past_the_cap_is_refused) {
  EXPECT_FALSE(Parse(Nested(kMaxAsnDepth, false)));
  EXPECT_FALSE(Parse(Nested(kMaxAsnDepth, true)));
  EXPECT_FALSE(Parse(Nested(100000, true)));
}

TEST(asn1_tree, deeply_nested_corpus_files_are_refused) {
  if (!std::filesystem::exists(TESSEL_CORPUS)) GTEST_SKIP() << "no corpus";
  for (const char* name : {"bc-test-data/asn1/nested_seq.der", "bc-test-data/asn1/nested_seq_indef.ber"}) {
    std::string octets = ReadCorpus(name);
    ASSERT_FALSE(octets.empty()) << name;
    EXPECT_FALSE(Parse(octets)) << name;
    std::vector<TBlobPtr> blobs;
    SplitAsnChildren(octets.data(), blobs, static_cast<int32_t>(octets.size()), true);
    EXPECT_LE(blobs.size(), 1u) << name;
  }
}

// --- writing --------------------------------------------------------------------

TEST(asn1_write, der_round_trips_below_tag_31) {
  const std::string cases[] = {
      Hex("01 01 FF"),                                  // BOOLEAN
      Hex("02 02 00 C3"),                               // INTEGER
      Hex("03 03 00 0A 0B"),                            // BIT STRING
      Hex("05 00"),                                     // NULL
      Hex("06 09 2A 86 48 86 F7 0D 01 07 02"),          // OBJECT IDENTIFIER
      Hex("0C 02 C3 A9"),                               // UTF8String
      Hex("17 0D") + "230415120000Z",                   // UTCTime
      Hex("1E 02 00 41"),                               // BMPString, tag 30
      Hex("31 06 02 01 01 02 01 02"),                   // SET
      Hex("30 00"),                                     // empty SEQUENCE
      Hex("41 01 00"),                                  // [APPLICATION 1] primitive
      Hex("7E 03 04 01 00"),                            // [APPLICATION 30] constructed
      Hex("80 00"),                                     // [0] primitive, empty
      Hex("A3 05 30 03 01 01 00"),                      // [3] constructed
      Hex("C5 01 09"),                                  // [PRIVATE 5]
      Hex("E2 02 05 00"),                               // [PRIVATE 2] constructed
      Hex("04 7F") + std::string(127, 'a'),             // longest one-octet length
      Hex("04 81 80") + std::string(128, 'b'),          // shortest two-octet length
      Hex("04 81 FF") + std::string(255, 'c'),
      Hex("04 82 01 00") + std::string(256, 'd'),
      Hex("30 83 01 00 05 04 83 01 00 00") + std::string(65536, 'e'),
  };
  for (const std::string& octets : cases) {
    auto root = Parse(octets);
    ASSERT_TRUE(root) << ToHex(octets.substr(0, 8));
    EXPECT_EQ(Encode(*root), octets) << ToHex(octets.substr(0, 8));
  }
}

TEST(asn1_write, content_of_300_octets_has_length_82_01_2C) {
  TUnknown e(4, acUniversal, std::string(300, '\x11'));
  std::string octets = Encode(e);
  EXPECT_EQ(ToHex(octets.substr(0, 4)), "04 82 01 2C");
  EXPECT_EQ(octets.size(), 304u);
}

TEST(asn1_write, sequence_fixes_its_children_at_first_use) {
  std::vector<std::unique_ptr<TAsnElem>> children;
  children.push_back(std::make_unique<TInt>("\x01", 1));
  TSeq seq(std::move(children));
  EXPECT_EQ(seq.Tag, 16u);
  EXPECT_TRUE(seq.Constructed);
  EXPECT_EQ(seq.ContentLength(), 3);
  seq.Add(std::make_unique<TInt>("\x02", 1));
  EXPECT_EQ(seq.Count(), 2);
  EXPECT_EQ(seq.ContentLength(), 3);
  EXPECT_EQ(ToHex(Encode(seq)), "30 03 02 01 01");
  EXPECT_EQ(ToHex(std::string(seq.Content())), "02 01 01");
}

TEST(asn1_write, content_octets_of_a_sequence_match_its_writing) {
  auto root = Parse(Hex("30 80 A0 80 04 01 AA 00 00 05 00 00 00"));
  ASSERT_TRUE(root);
  EXPECT_EQ(ToHex(std::string(root->Content())), "A0 03 04 01 AA 05 00");
  EXPECT_EQ(root->ContentLength(), 7);
  TStringStream s;
  root->WriteContent(s, 2);  // the limit applies to primitive content only
  EXPECT_EQ(ToHex(s.DataString()), "A0 03 04 01 AA 05 00");
}

TEST(asn1_write, unknown_content_respects_the_limit) {
  TUnknown e(4, acUniversal, "abcdef");
  TStringStream s;
  e.WriteContent(s, 4);
  EXPECT_EQ(s.DataString(), "abcd");
  TStringStream all;
  e.WriteContent(all, 0);
  EXPECT_EQ(all.DataString(), "abcdef");
}

TEST(asn1_write, encoded_blob_and_base64) {
  auto root = Parse(Hex("30 03 02 01 05"));
  ASSERT_TRUE(root);
  TBlobPtr blob = root->GetEncoded();
  ASSERT_TRUE(blob);
  ASSERT_EQ(blob->Size, 5);
  EXPECT_EQ(ToHex(std::string(reinterpret_cast<char*>(blob->Data), 5)), "30 03 02 01 05");
  EXPECT_EQ(root->EncodedBase64(), "MAMCAQU=");
  auto again = ParseAsnBlob(*blob);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Count(), 1);
}

TEST(asn1_write, long_base64_breaks_lines_every_76_characters) {
  TUnknown e(4, acUniversal, std::string(100, '\0'));
  std::string text = e.EncodedBase64();
  ASSERT_GT(text.size(), 78u);
  EXPECT_EQ(text.substr(76, 2), "\r\n");
}

// --- SplitAsnChildren --------------------------------------------------------------

namespace {

std::vector<std::string> Split(const std::string& octets, bool whole) {
  std::vector<TBlobPtr> blobs;
  SplitAsnChildren(octets.data(), blobs, static_cast<int32_t>(octets.size()), whole);
  std::vector<std::string> out;
  for (const auto& b : blobs) out.push_back(ToHex(std::string(reinterpret_cast<char*>(b->Data), static_cast<size_t>(b->Size))));
  return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(asn1_split, signing_time_set_gives_its_characters) {
  std::string value = Hex("31 0F 17 0D") + "230415120000Z";
  auto blobs = Split(value, false);
  ASSERT_EQ(blobs.size(), 1u);
  EXPECT_EQ(blobs[0], ToHex("230415120000Z"));
}

TEST(asn1_split, whole_encodings_only_for_constructed_children) {
  std::string caps = Hex("30 0F 30 05 06 03 2A 03 04 02 02 00 80 30 02 05 00");
  EXPECT_EQ(Split(caps, true), (Strings{"30 05 06 03 2A 03 04", "00 80", "30 02 05 00"}));
  EXPECT_EQ(Split(caps, false), (Strings{"06 03 2A 03 04", "00 80", "05 00"}));
}

TEST(asn1_split, primitive_outer_gives_its_content) {
  EXPECT_EQ(Split(Hex("04 03 01 02 03"), true), (Strings{"01 02 03"}));
}

TEST(asn1_split, stops_at_a_child_that_does_not_fit) {
  EXPECT_EQ(Split(Hex("30 08 02 01 01 02 05 01 02 03"), false), (Strings{"01"}));
  EXPECT_TRUE(Split(Hex("30 09 02 01 01"), false).empty());  // outer longer than the data
  EXPECT_TRUE(Split(Hex("30 85 00 00 00 00 03 02 01 05"), false).empty());
  EXPECT_TRUE(Split("", false).empty());
}

TEST(asn1_split, octets_after_the_outer_element_are_not_children) {
  EXPECT_EQ(Split(Hex("30 03 02 01 01 02 01 02"), false), (Strings{"01"}));
}

TEST(asn1_split, indefinite_lengths) {
  std::string octets = Hex("30 80 30 80 02 01 07 00 00 04 01 AA 00 00 02 01 09");
  EXPECT_EQ(Split(octets, true), (Strings{"30 80 02 01 07 00 00", "AA"}));
  EXPECT_EQ(Split(octets, false), (Strings{"02 01 07", "AA"}));
  // A child cut off before its marker ends the list.
  EXPECT_EQ(Split(Hex("30 80 04 01 AA 30 80 02 01 07"), false), (Strings{"AA"}));
}
