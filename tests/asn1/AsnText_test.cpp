// Tag names, value renderings, one-line descriptions, dotted OIDs and the
// rows the ASN.1 tree is shown as.
#include <gtest/gtest.h>

#include <chrono>

#include "AsnTestUtil.h"
#include "asn1/AsnRows.h"
#include "asn1/asn1.h"
#include "asn1/oid.h"

using namespace tessel;
using tessel::test::Hex;
using tessel::test::Parse;

namespace {

std::string Dotted(const std::string& hexContent) { return OidToDotted(Hex(hexContent)); }

std::string Sequential(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>(i);
  return s;
}

}  // namespace

TEST(asn1_text, tag_names_from_the_number_alone) {
  const std::pair<uint32_t, const char*> names[] = {
      {2, "INTEGER"},          {3, "BIT STRING"}, {4, "OCTET STRING"}, {5, "NULL"},
      {6, "OID"},              {16, "SEQUENCE"},  {17, "SET"},         {19, "PrintableString"},
      {20, "T61String"},       {22, "IA5String"}, {23, "UTCTime"},     {0, "[0]"},
      {1, "[1]"},              {12, "[12]"},      {24, "[24]"},        {31, "[31]"},
  };
  for (auto [tag, name] : names) EXPECT_EQ(TUnknown(tag, acUniversal).TagName(), name);
  auto cont0 = Parse(Hex("A0 00"));
  ASSERT_TRUE(cont0);
  EXPECT_EQ(cont0->TagName(), "[0]");
  EXPECT_EQ(TUnknown(2, acContext).TagName(), "INTEGER");
}

TEST(asn1_text, value_hex_cuts_with_a_note) {
  TUnknown e(4, acUniversal, Hex("30 82 01 0A") + std::string(296, '\x5A'));
  EXPECT_EQ(e.ValueHex(4, ' '), "30 82 01 0A... --Skipped 296 octets--");
  EXPECT_EQ(e.ValueHex(4, '\0'), "3082010A... --Skipped 296 octets--");
  TUnknown small(4, acUniversal, Hex("0A FF"));
  EXPECT_EQ(small.ValueHex(0, ':'), "0A:FF");
  EXPECT_EQ(small.ValueHex(2, ' '), "0A FF");  // exactly the limit: no note
  EXPECT_EQ(small.ValueHex(1, ' '), "0A... --Skipped 1 octets--");
  EXPECT_EQ(TUnknown(5, acUniversal).ValueHex(0, ' '), "");
}

TEST(asn1_text, bit_string_value_text_shows_256_octets) {
  TUnknown bits(3, acUniversal, std::string(270, '\xAB'));
  std::string text = bits.ValueText(256);
  std::string expected;
  for (int i = 0; i < 256; ++i) expected += i ? " AB" : "AB";
  EXPECT_EQ(text, expected + "... --Skipped 14 octets--");
}

TEST(asn1_text, value_text_of_strings_is_the_octets) {
  TUnknown ia5(22, acUniversal, "someone@example.com");
  EXPECT_EQ(ia5.ValueText(0), "someone@example.com");
  EXPECT_EQ(ia5.ValueText(7), "someone");  // cut without a note
  TUnknown cont0(0, acContext, Hex("01 02"));
  EXPECT_EQ(cont0.ValueText(0), "01 02");
  TUnknown octets(4, acUniversal, Hex("DE AD"));
  EXPECT_EQ(octets.ValueText(0), "DE AD");
}

TEST(asn1_text, value_text_of_constructed_elements) {
  auto cont0 = Parse(Hex("A0 03 02 01 05"));
  ASSERT_TRUE(cont0);
  EXPECT_EQ(cont0->ValueText(0), "02 01 05");
  auto seq = Parse(Hex("30 03 13 01 41"));
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->ValueText(0), Hex("13 01 41"));
}

TEST(asn1_text, integer_texts) {
  auto i = Parse(Hex("02 02 00 C3"));
  ASSERT_TRUE(i);
  EXPECT_EQ(i->ValueText(0), "00C3");
  EXPECT_EQ(i->Describe(), "INTEGER, Length: 2, Value: 00C3");
  TInt big(Sequential(40).data(), 40);
  EXPECT_EQ(big.ValueText(2), "0001... --Skipped 38 octets--");
  // An INTEGER read by the streaming parser is a TUnknown: the base line.
  TUnknown streamed(2, acUniversal, Hex("05"));
  EXPECT_EQ(streamed.Describe(), "INTEGER, Length: 1 Value: 05");
}

TEST(asn1_text, descriptions) {
  EXPECT_EQ(TUnknown(19, acUniversal, "Test").Describe(), "PrintableString, Length: 4 Value: Test");
  EXPECT_EQ(TUnknown(23, acUniversal, "230415120000Z").Describe(), "UTCTime, Length: 13 Value: [not interpreted]");
  EXPECT_EQ(TUnknown(5, acUniversal).Describe(), "NULL, Length: 0 Value: ");
  EXPECT_EQ(TUnknown(4, acUniversal, Hex("01 02")).Describe(), "OCTET STRING, Length: 2 Value: 01 02");
  EXPECT_EQ(TUnknown(3, acUniversal, Hex("00 FF")).Describe(), "BIT STRING, Length: 2 Value: 00 FF");
  EXPECT_EQ(TUnknown(22, acUniversal, std::string(300, 'x')).Describe(),
            "IA5String, Length: 300 Value: " + std::string(256, 'x'));
  EXPECT_EQ(TUnknown(12, acUniversal, "x").Describe(), "[12], Length: 1 Value: [not interpreted]");
  auto seq = Parse(Hex("30 03 02 01 05"));
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->Describe(), "SEQUENCE, Length: 3");
  auto set = Parse(Hex("31 00"));
  ASSERT_TRUE(set);
  EXPECT_EQ(set->Describe(), "SET, Length: 0");
  auto cont = Parse(Hex("A0 02 05 00"));
  ASSERT_TRUE(cont);
  EXPECT_EQ(cont->Describe(), "SET, Length: 2");
  auto oid = Parse(Hex("06 09 2A 86 48 86 F7 0D 01 07 02"));
  ASSERT_TRUE(oid);
  EXPECT_EQ(oid->Describe(), "OBJECT IDENTIFIER, Length: 9, Value: 1.2.840.113549.1.7.2");
  EXPECT_EQ(oid->ValueText(1), "1.2.840.113549.1.7.2");
}

TEST(asn1_oid, dotted_forms) {
  const std::pair<const char*, const char*> cases[] = {
      {"2A 86 48 86 F7 0D 01 07 02", "1.2.840.113549.1.7.2"},
      {"55 04 03", "2.5.4.3"},
      {"00", "0.0"},
      {"27", "0.39"},
      {"28", "1.0"},
      {"4F", "1.39"},
      {"50", "2.0"},
      {"7F", "2.47"},
      {"81 34", "2.100"},   // first subidentifier in two octets
      {"88 37 03", "2.999.3"},
      {"2A 86", "1.2.6"},   // cut off: ends with the groups read so far
      {"2A 80 80 01", "1.2.1"},  // leading zero groups
      {"2A 8F FF FF FF 7F", "1.2.4294967295"},
      {"2A 81 FF FF FF FF FF FF FF FF 7F 82 80 80 80 80 80 80 80 80 00",
       "1.2.18446744073709551615.18446744073709551616"},
      {"69 83 F0 9D A7 EB CF DE E0 C7 A1 A7 B2 C0 94 8C C8 F9 D7 76",
       "2.25.329800735698586629295641978511506172918"},
      {"", ""},
  };
  for (auto [hex, dotted] : cases) EXPECT_EQ(Dotted(hex), dotted) << hex;
}

TEST(asn1_oid, hostile_arc_is_written_in_hex_quickly) {
  std::string content = Hex("2A") + std::string(100000, '\xFF') + Hex("7F");
  auto start = std::chrono::steady_clock::now();
  std::string dotted = OidToDotted(content);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2));
  // 100001 groups of seven set bits: 700007 bits, so "7" and then F's.
  ASSERT_EQ(dotted.size(), 4 + 2 + 1 + 700004 / 4);
  EXPECT_EQ(dotted.substr(0, 9), "1.2.0x7FF");
  EXPECT_EQ(dotted.find_first_not_of('F', 7), std::string::npos);
  // A hostile first subidentifier keeps arc 2.
  EXPECT_EQ(OidToDotted(std::string(70, '\x80') + Hex("81 00")).substr(0, 2), "2.");
  EXPECT_EQ(OidToDotted(std::string(70, '\xFF') + Hex("7F")).substr(0, 4), "2.0x");
}

TEST(asn1_oid, names_and_captions) {
  EXPECT_EQ(OidName("2.5.4.3"), "commonName");
  EXPECT_EQ(OidName("1.2.840.113549.1.7.2"), "signedData");
  EXPECT_EQ(OidName("1.2.3.4"), "");
  EXPECT_EQ(OidName("2.5.4"), "");      // whole text only
  EXPECT_EQ(OidName("2.5.4.3.0"), "");
  EXPECT_EQ(OidName("2 5 4 3"), "");
  EXPECT_EQ(OidCaption("2.5.4.3"), "commonName ( 2.5.4.3 ) ");
  EXPECT_EQ(OidCaption("1.2.3.4"), "1.2.3.4");
}

TEST(asn1_rows, tree_rows_with_names_and_values) {
  // SEQUENCE { OID signedData, [0] { SET { INTEGER 1, PrintableString "AB", OID 1.2.3.4 } }, NULL }
  auto root = Parse(Hex("30 1D 06 09 2A 86 48 86 F7 0D 01 07 02 A0 0E 31 0C 02 01 01 13 02 41 42 06 03 2A 03 04 05 00"));
  ASSERT_TRUE(root);
  std::vector<std::string> lines;
  for (const TAsnRow& row : AsnTreeRows(*root)) lines.push_back(std::to_string(row.Depth) + "|" + row.Text());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "0|SEQUENCE",
                       "1|OID: signedData ( 1.2.840.113549.1.7.2 ) ",
                       "1|[0]",
                       "2|SET",
                       "3|INTEGER: 01",
                       "3|PrintableString: AB",
                       "3|OID: 1.2.3.4",
                       "1|NULL: ",
                   }));
}

TEST(asn1_rows, primitive_values_are_cut_at_256_octets) {
  auto octets = Parse(Hex("04 82 01 2C") + std::string(300, '\x01'));
  ASSERT_TRUE(octets);
  auto rows = AsnTreeRows(*octets);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0].HasValue);
  EXPECT_EQ(rows[0].Value.size(), 256 * 3 - 1 + std::string("... --Skipped 44 octets--").size());
  auto text = Parse(Hex("16 82 01 2C") + std::string(300, 'q'));
  ASSERT_TRUE(text);
  EXPECT_EQ(AsnRowValue(*text), std::string(256, 'q'));
  auto integer = Parse(Hex("02 82 01 2C") + std::string(300, '\x11'));
  ASSERT_TRUE(integer);
  EXPECT_EQ(AsnRowValue(*integer).substr(0, 6), "111111");
  EXPECT_NE(AsnRowValue(*integer).find("--Skipped 44 octets--"), std::string::npos);
}

TEST(asn1_rows, constructed_rows_have_no_value_even_when_empty) {
  auto root = Parse(Hex("A1 00"));
  ASSERT_TRUE(root);
  auto rows = AsnTreeRows(*root);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(rows[0].HasValue);
  EXPECT_EQ(rows[0].Text(), "[1]");
}

TEST(asn1_rows, deep_hand_built_tree_is_walked_without_recursion) {
  auto root = std::make_unique<TSeq>();
  TSeq* tip = root.get();
  for (int i = 0; i < 5000; ++i) {
    auto next = std::make_unique<TSeq>();
    TSeq* raw = next.get();
    tip->Add(std::move(next));
    tip = raw;
  }
  tip->Add(std::make_unique<TUnknown>(5, acUniversal));
  int rows = 0;
  int deepest = 0;
  VisitAsnRows(*root, [&](const TAsnRow& row) {
    ++rows;
    deepest = std::max(deepest, row.Depth);
  });
  EXPECT_EQ(rows, 5002);
  EXPECT_EQ(deepest, 5001);
}
