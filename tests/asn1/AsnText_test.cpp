// Tag names, value renderings, descriptions and dotted OIDs. The rows an
// element tree is shown as are compared whole by the --asn1 golden files.
#include <gtest/gtest.h>

#include <chrono>

#include "AsnTestUtil.h"
#include "asn1/AsnText.h"
#include "asn1/oid.h"

using namespace tessel;
using namespace tessel::test;

TEST(Asn1Text, tag_names_from_the_number_alone) {
  // The others are in the --asn1 golden files.
  const std::pair<uint32_t, const char*> names[] = {{6, "OID"}, {20, "T61String"}, {24, "[24]"}, {31, "[31]"}};
  for (auto [tag, name] : names) EXPECT_EQ(TUnknown(tag, acContext).TagName(), name);
}

TEST(Asn1Text, values) {
  TUnknown cert(4, acUniversal, FromHex("30 82 01 0A") + std::string(296, 'Z'));
  EXPECT_EQ(cert.ValueHex(4, ' '), "30 82 01 0A... --Skipped 296 octets--");
  EXPECT_EQ(cert.ValueHex(4, '\0'), "3082010A... --Skipped 296 octets--");
  TUnknown two(4, acUniversal, FromHex("0A FF"));
  EXPECT_EQ(two.ValueHex(0, ':'), "0A:FF");
  EXPECT_EQ(two.ValueHex(2, ' '), "0A FF");                       // exactly at the limit: no note
  EXPECT_EQ(two.ValueHex(1, ' '), "0A... --Skipped 1 octets--");  // no separator before the note
  EXPECT_EQ(TUnknown(4, acUniversal, FromHex("7F")).ValueHex(0, ' '), "7F");
  EXPECT_EQ(TUnknown(4, acUniversal).ValueHex(0, ' '), "");
  EXPECT_EQ(TUnknown(4, acUniversal).ValueHex(3, ' '), "");
  EXPECT_EQ(two.ValueText(0), "0A FF");
  EXPECT_EQ(TUnknown(22, acUniversal, "someone@example.com").ValueText(7), "someone");  // strings: no note
  EXPECT_EQ(Parse(FromHex("A0 03 02 01 05"))->ValueText(0), "02 01 05");
  EXPECT_EQ(TInt(std::string(40, '\x01').data(), 40).ValueText(2), "0101... --Skipped 38 octets--");
}

TEST(Asn1Text, descriptions) {
  const std::pair<std::unique_ptr<TAsnElem>, const char*> cases[] = {
      {Parse(FromHex("02 02 00 C3")), "INTEGER, Length: 2, Value: 00C3"},
      {Parse(FromHex("13 04") + "Test"), "PrintableString, Length: 4 Value: Test"},
      {Parse(FromHex("17 0D") + "230415120000Z"), "UTCTime, Length: 13 Value: [not interpreted]"},
      {Parse(FromHex("05 00")), "NULL, Length: 0 Value: "},
      {Parse(FromHex("04 02 01 02")), "OCTET STRING, Length: 2 Value: 01 02"},
      {Parse(FromHex("0C 01 78")), "[12], Length: 1 Value: [not interpreted]"},
      {Parse(FromHex("30 03 02 01 05")), "SEQUENCE, Length: 3"},
      {Parse(FromHex("A0 02 05 00")), "SET, Length: 2"},
      {Parse(FromHex("06 09 2A 86 48 86 F7 0D 01 07 02")), "OBJECT IDENTIFIER, Length: 9, Value: 1.2.840.113549.1.7.2"},
      // An INTEGER from the streaming parser is a TUnknown: the plain line.
      {std::make_unique<TUnknown>(2, acUniversal, FromHex("05")), "INTEGER, Length: 1 Value: 05"},
      // The tree parser picks the class from the tag number alone, so
      // context [2] and [6] are an INTEGER and an OBJECT IDENTIFIER.
      {Parse(FromHex("82 01 07")), "INTEGER, Length: 1, Value: 07"},
      {Parse(FromHex("86 01 2A")), "OBJECT IDENTIFIER, Length: 1, Value: 1.2"}};
  for (const auto& [e, line] : cases) EXPECT_EQ(e->Describe(), line);
  EXPECT_EQ(TUnknown(22, acUniversal, std::string(300, 'x')).Describe(),
            "IA5String, Length: 300 Value: " + std::string(256, 'x'));
}

TEST(Asn1Oid, dotted_forms) {
  const std::pair<const char*, const char*> cases[] = {
      {"2A 86 48 86 F7 0D 01 07 02", "1.2.840.113549.1.7.2"},
      {"55 04 03", "2.5.4.3"},
      {"", ""},
      {"00", "0.0"},
      {"27", "0.39"},
      {"28", "1.0"},
      {"4F", "1.39"},
      {"50", "2.0"},
      {"7F", "2.47"},
      {"81 34", "2.100"},
      {"88 37 03", "2.999.3"},  // first subidentifier in two octets
      {"2A 86", "1.2.6"},
      {"2A 80 80 01", "1.2.1"},  // cut off: the groups read so far; leading zero groups
      {"2A 8F FF FF FF 7F", "1.2.4294967295"},
      {"2A 81 FF FF FF FF FF FF FF FF 7F 82 80 80 80 80 80 80 80 80 00",
       "1.2.18446744073709551615.18446744073709551616"},
      {"69 83 F0 9D A7 EB CF DE E0 C7 A1 A7 B2 C0 94 8C C8 F9 D7 76", "2.25.329800735698586629295641978511506172918"}};
  for (auto [hex, dotted] : cases) EXPECT_EQ(OidToDotted(FromHex(hex)), dotted) << hex;
}

TEST(Asn1Oid, hostile_arc_is_written_in_hex_quickly) {
  auto start = std::chrono::steady_clock::now();
  std::string dotted = OidToDotted(FromHex("2A") + std::string(100000, '\xFF') + FromHex("7F"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // 100001 groups of seven set bits: 700007 bits, "7" and then F's.
  EXPECT_EQ(dotted, "1.2.0x7" + std::string(700004 / 4, 'F'));
  EXPECT_EQ(OidToDotted(std::string(70, '\xFF') + FromHex("7F")).substr(0, 4), "2.0x");
}

namespace {

std::unique_ptr<TAsnElem> Primitive(uint8_t cls, uint32_t tag, const std::string& content) {
  return std::make_unique<TUnknown>(tag, cls, content);
}

}  // namespace

TEST(Asn1Text, shown_values_are_utf8_or_hex) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::tuple<uint8_t, uint32_t, std::string, std::string> cases[] = {
      {acUniversal, 30, FromHex("00 47 00 72 00 FC"), "Gr\xC3\xBC"},               // BMPString
      {acUniversal, 30, FromHex("D8 3D DE 00 00 21"), "\xF0\x9F\x98\x80!"},        // a surrogate pair
      {acUniversal, 30, FromHex("D8 3D 00 41 DE 00"), fffd + "A" + fffd},          // lone surrogates
      {acUniversal, 30, FromHex("00 41 00"), "A" + fffd},                          // an odd octet
      {acUniversal, 28, FromHex("00 00 00 47 00 01 F6 00"), "G\xF0\x9F\x98\x80"},  // UniversalString
      {acUniversal, 28, FromHex("00 11 00 00 00 00 D8 00 00 00"), fffd + fffd + fffd},
      {acUniversal, 20, FromHex("47 72 FC"), "Gr\xC3\xBC"},  // T61String as Latin-1
      {acUniversal, 19, FromHex("41 E9"), "A\xC3\xA9"},
      {acUniversal, 12,
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xC3\xBC\xC3\x9F"
       "e"},  // UTF8String
      {acUniversal, 12, FromHex("41 C3 28"), "A" + fffd + "("},
      {acUniversal, 12, FromHex("C0 80 ED A0 80 F4 90 80 80"),
       std::string() + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd},
      {acUniversal, 1, FromHex("FF"), "FF"},                     // BOOLEAN
      {acUniversal, 10, FromHex("01 03"), "0103"},               // ENUMERATED
      {acUniversal, 2, FromHex("00 C3"), "00C3"},                // INTEGER from the stream reader
      {acUniversal, 5, "", ""},                                  // NULL
      {acUniversal, 9, FromHex("03 31 45"), "03 31 45"},         // REAL: octets
      {acContext, 7, FromHex("7F 00 00 01"), "7F 00 00 01"},     // iPAddress
      {acContext, 7, "ABCD", "41 42 43 44"},                     // even when printable
      {acContext, 1, "a@example.com", "a@example.com"},          // rfc822Name
      {acContext, 1, FromHex("00 FF"), "00 FF"},                 // binary in a context tag
      {acContext, 3, "line\x1B[2J", "6C 69 6E 65 1B 5B 32 4A"},  // controls: not text
      {acContext, 0, "text", "74 65 78 74"},                     // [0] stays hex
  };
  for (const auto& [cls, tag, content, shown] : cases) {
    EXPECT_EQ(AsnValueUtf8(*Primitive(cls, tag, content), 0), shown) << tag << " " << HexDump(content);
  }
  EXPECT_EQ(AsnValueUtf8(*Parse(FromHex("02 02 00 C3")), 0), "00C3");
  EXPECT_EQ(AsnValueUtf8(*Parse(FromHex("06 03 55 04 03")), 0), "2.5.4.3");
}

TEST(Asn1Text, cut_between_characters_with_a_note) {
  const std::string ue = "\xC3\xBC";
  const std::tuple<uint32_t, std::string, std::string> cases[] = {
      {12, std::string(255, 'a') + ue, std::string(255, 'a') + "... --Skipped 2 octets--"},
      {12, std::string(254, 'a') + ue, std::string(254, 'a') + ue},  // ends exactly at the limit
      {30, std::string(258, '\0'), std::string(128, '\0') + "... --Skipped 2 octets--"},
      {30, std::string(254, '\0') + FromHex("D8 3D DE 00"), std::string(127, '\0') + "... --Skipped 4 octets--"},
      {28, std::string(260, '\0'), std::string(64, '\0') + "... --Skipped 4 octets--"},
      {20, std::string(300, '\xFC'),
       [&] {
         std::string s;
         for (int i = 0; i < 256; ++i) s += ue;
         return s;
       }() +
           "... --Skipped 44 octets--"},
      {1, std::string(257, '\x01'), "01" + [] {
         std::string s;
         for (int i = 0; i < 255; ++i) s += " 01";
         return s;
       }() + "... --Skipped 1 octets--"}};
  for (const auto& [tag, content, shown] : cases)
    EXPECT_EQ(AsnValueUtf8(*Primitive(acUniversal, tag, content), 256), shown) << tag << " " << content.size();
}
