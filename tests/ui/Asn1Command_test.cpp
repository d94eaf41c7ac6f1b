// tessel --asn1 FILE: golden outputs for DER, PEM and base64 input, and the
// exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliSupport.h"
#include "util/streams/FileStream.h"

namespace fs = std::filesystem;
using namespace tessel::cli;

namespace {

const fs::path kData = fs::path(TESSEL_TEST_DATA).parent_path().parent_path() / "asn1" / "data";

// Files of the test's own, in one private folder for the whole run.
fs::path TempFile(const std::string& name, const std::string& content) {
  static const clitest::TTempDir dir("tessel-asn1cli");
  return dir.Write(name, content);
}

}  // namespace

TEST(CliAsn1, golden_outputs) {
  const std::pair<const char*, const char*> pairs[] = {
      {"rows.der", "rows.txt"},  // every kind of row, control characters as \xNN
      {"rows.pem", "rows.txt"},  // the same as PEM, with text before the block
      {"rows.b64", "rows.txt"},  // and as bare base64 with CR LF line ends
      {"cert.der", "cert.txt"},  // an elliptic-curve certificate
  };
  for (auto [input, expected] : pairs) {
    clitest::TRun r = clitest::Command({"--asn1", (kData / input).string()});
    EXPECT_EQ(r.Status, ExitDone) << input;
    EXPECT_EQ(r.Err, "") << input;
    EXPECT_EQ(r.Out, tessel::ReadFileBytes(kData / expected)) << input;
  }
  // 'M' would start a DER element, but the whole file is base64 of 30 03 02 01 05.
  EXPECT_EQ(clitest::Command({"--asn1", TempFile("short.b64", "MAMCAQU=\n").string()}).Out,
            "SEQUENCE\n  INTEGER: 05\n");
}

TEST(CliAsn1, octets_after_the_element_are_reported) {
  clitest::TRun r = clitest::Command({"--asn1", (kData / "trailing.der").string()});
  EXPECT_EQ(r.Status, ExitNotParsed);
  EXPECT_EQ(r.Out, tessel::ReadFileBytes(kData / "trailing.txt"));
  EXPECT_EQ(r.Err, "Octets after the ASN.1 structure: 25 from offset 5\n");
  // In base64 text the offsets are those of the decoded octets: 30 03 02 01 05 FF.
  r = clitest::Command({"--asn1", TempFile("trailing.b64", "MAMCAQX/\n").string()});
  EXPECT_EQ(r.Status, ExitNotParsed);
  EXPECT_EQ(r.Out, "SEQUENCE\n  INTEGER: 05\n--1 octets after the element, from offset 5 of the decoded octets--\n");
}

TEST(CliAsn1, input_that_does_not_parse) {
  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"empty", "", "no octets at offset 0"},
      {"text", "Just some words, not base64 and not DER.\n",
       "length 117 exceeds the 39 octets that remain at offset 0"},
      {"cut", tessel::ReadFileBytes(kData / "truncated.der"),
       "length 436 exceeds the 433 octets that remain at offset 0"},
      {"badpem", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n",
       "identifier or length octets cut off at offset 0 of the decoded octets"},
      {"badb64", "MIIBCgKCAQEAtest\n", "length 266 exceeds the 8 octets that remain at offset 0 of the decoded octets"},
      {"badpad", "MAMCA=QU\n", "the base64 text does not decode"},
      {"deep", std::string(400, '\x30') + '\x80', "length 48 exceeds the 46 octets that remain at offset 2"},
      {"deepber",
       [] {
         std::string s;
         for (int i = 0; i < 201; ++i) s += "\x30\x80";
         return s;
       }(),
       "nested deeper than 200 levels at offset 400"},
  };
  for (const auto& [name, content, why] : cases) {
    clitest::TRun r = clitest::Command({"--asn1", TempFile(name, content).string()});
    EXPECT_EQ(r.Status, ExitNotParsed) << name;
    EXPECT_EQ(r.Out, "") << name;
    EXPECT_EQ(r.Err, std::string("Not a valid ASN.1 structure: ") + why + "\n") << name;
  }
}

TEST(CliAsn1, unreadable_file_and_usage) {
  clitest::TRun missing = clitest::Command({"--asn1", (kData / "no-such-file.der").string()});
  EXPECT_EQ(missing.Status, ExitUnreadable);
  EXPECT_NE(missing.Err.find("no-such-file.der"), std::string::npos);
  EXPECT_EQ(clitest::Command({"--asn1", kData.string()}).Status, ExitUnreadable);
  EXPECT_EQ(clitest::Command({"--asn1"}).Status, ExitUsage);
  EXPECT_EQ(clitest::Command({"--asn1", "a", "b"}).Status, ExitUsage);
  EXPECT_NE(clitest::Command({"--help"}).Out.find("--asn1 FILE"), std::string::npos);
}
