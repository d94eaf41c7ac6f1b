// Tag names, value renderings, descriptions and dotted OIDs. The rows an
// element tree is shown as are compared whole by the --asn1 golden files.
#include <gtest/gtest.h>

#include <chrono>

#include "AsnTestUtil.h"
#include "asn1/oid.h"

using namespace tessel;
using namespace tessel::test;

TEST(asn1_text, tag_names_from_the_number_alone) {
  // The others are in the --asn1 golden files.
  const std::pair<uint32_t, const char*> names[] = {{6, "OID"}, {20, "T61String"}, {24, "[24]"}, {31, "[31]"}};
  for (auto [tag, name] : names) EXPECT_EQ(TUnknown(tag, acContext).TagName(), name);
}

TEST(asn1_text, values) {
  TUnknown cert(4, acUniversal, Hex("30 82 01 0A") + std::string(296, 'Z'));
  EXPECT_EQ(cert.ValueHex(4, ' '), "30 82 01 0A... --Skipped 296 octets--");
  EXPECT_EQ(cert.ValueHex(4, '\0'), "3082010A... --Skipped 296 octets--");
  TUnknown two(4, acUniversal, Hex("0A FF"));
  EXPECT_EQ(two.ValueHex(0, ':'), "0A:FF");
  EXPECT_EQ(two.ValueHex(2, ' '), "0A FF");  // exactly at the limit: no note
  EXPECT_EQ(two.ValueText(0), "0A FF");
  EXPECT_EQ(TUnknown(22, acUniversal, "someone@example.com").ValueText(7), "someone");  // strings: no note
  EXPECT_EQ(Parse(Hex("A0 03 02 01 05"))->ValueText(0), "02 01 05");
  EXPECT_EQ(TInt(std::string(40, '\x01').data(), 40).ValueText(2), "0101... --Skipped 38 octets--");
}

TEST(asn1_text, descriptions) {
  const std::pair<std::unique_ptr<TAsnElem>, const char*> cases[] = {
      {Parse(Hex("02 02 00 C3")), "INTEGER, Length: 2, Value: 00C3"},
      {Parse(Hex("13 04") + "Test"), "PrintableString, Length: 4 Value: Test"},
      {Parse(Hex("17 0D") + "230415120000Z"), "UTCTime, Length: 13 Value: [not interpreted]"},
      {Parse(Hex("05 00")), "NULL, Length: 0 Value: "},
      {Parse(Hex("04 02 01 02")), "OCTET STRING, Length: 2 Value: 01 02"},
      {Parse(Hex("0C 01 78")), "[12], Length: 1 Value: [not interpreted]"},
      {Parse(Hex("30 03 02 01 05")), "SEQUENCE, Length: 3"},
      {Parse(Hex("A0 02 05 00")), "SET, Length: 2"},
      {Parse(Hex("06 09 2A 86 48 86 F7 0D 01 07 02")), "OBJECT IDENTIFIER, Length: 9, Value: 1.2.840.113549.1.7.2"},
      // An INTEGER from the streaming parser is a TUnknown: the plain line.
      {std::make_unique<TUnknown>(2, acUniversal, Hex("05")), "INTEGER, Length: 1 Value: 05"},
      // The tree parser picks the class from the tag number alone, so
      // context [2] and [6] are an INTEGER and an OBJECT IDENTIFIER.
      {Parse(Hex("82 01 07")), "INTEGER, Length: 1, Value: 07"},
      {Parse(Hex("86 01 2A")), "OBJECT IDENTIFIER, Length: 1, Value: 1.2"},
  };
  for (const auto& [e, line] : cases) EXPECT_EQ(e->Describe(), line);
  EXPECT_EQ(TUnknown(22, acUniversal, std::string(300, 'x')).Describe(), "IA5String, Length: 300 Value: " + std::string(256, 'x'));
}

TEST(asn1_oid, dotted_forms) {
  const std::pair<const char*, const char*> cases[] = {
      {"2A 86 48 86 F7 0D 01 07 02", "1.2.840.113549.1.7.2"}, {"55 04 03", "2.5.4.3"}, {"", ""},
      {"00", "0.0"}, {"27", "0.39"}, {"28", "1.0"}, {"4F", "1.39"}, {"50", "2.0"}, {"7F", "2.47"},
      {"81 34", "2.100"}, {"88 37 03", "2.999.3"},  // first subidentifier in two octets
      {"2A 86", "1.2.6"}, {"2A 80 80 01", "1.2.1"},  // cut off: the groups read so far; leading zero groups
      {"2A 8F FF FF FF 7F", "1.2.4294967295"},
      {"2A 81 FF FF FF FF FF FF FF FF 7F 82 80 80 80 80 80 80 80 80 00", "1.2.18446744073709551615.18446744073709551616"},
      {"69 83 F0 9D A7 EB CF DE E0 C7 A1 A7 B2 C0 94 8C C8 F9 D7 76", "2.25.329800735698586629295641978511506172918"},
  };
  for (auto [hex, dotted] : cases) EXPECT_EQ(OidToDotted(Hex(hex)), dotted) << hex;
}

TEST(asn1_oid, hostile_arc_is_written_in_hex_quickly) {
  auto start = std::chrono::steady_clock::now();
  std::string dotted = OidToDotted(Hex("2A") + std::string(100000, '\xFF') + Hex("7F"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // 100001 groups of seven set bits: 700007 bits, "7" and then F's.
  EXPECT_EQ(dotted, "1.2.0x7" + std::string(700004 / 4, 'F'));
  EXPECT_EQ(OidToDotted(std::string(70, '\xFF') + Hex("7F")).substr(0, 4), "2.0x");
}
