// tessel --asn1 FILE: golden outputs for DER, PEM and base64 input, and the
// exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Command.h"
#include "util/FileStream.h"

namespace fs = std::filesystem;
using namespace tessel::cli;

namespace {

const fs::path kData = fs::path(TESSEL_TEST_DATA).parent_path().parent_path() / "asn1" / "data";

struct TResult {
  int Status;
  std::string Out, Err;
};

TResult Tessel(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

fs::path TempFile(const std::string& name, const std::string& content) {
  static const fs::path dir = [] {
    char pattern[] = "/tmp/tessel-asn1cli-XXXXXX";
    return fs::path(mkdtemp(pattern));
  }();
  std::ofstream(dir / name, std::ios::binary) << content;
  return dir / name;
}

}  // namespace

TEST(cli_asn1, golden_outputs) {
  const std::pair<const char*, const char*> pairs[] = {
      {"rows.der", "rows.txt"},          // every kind of row, control characters as \xNN
      {"rows.pem", "rows.txt"},          // the same as PEM, with text before the block
      {"rows.b64", "rows.txt"},          // and as bare base64 with CR LF line ends
      {"cert.der", "cert.txt"},          // an elliptic-curve certificate
      {"trailing.der", "trailing.txt"},  // octets after the element are ignored
  };
  for (auto [input, expected] : pairs) {
    TResult r = Tessel({"--asn1", (kData / input).string()});
    EXPECT_EQ(r.Status, ExitDone) << input;
    EXPECT_EQ(r.Err, "") << input;
    EXPECT_EQ(r.Out, tessel::ReadFileBytes(kData / expected)) << input;
  }
  // 'M' would start a DER element, but the whole file is base64 of 30 03 02 01 05.
  EXPECT_EQ(Tessel({"--asn1", TempFile("short.b64", "MAMCAQU=\n").string()}).Out, "SEQUENCE\n  INTEGER: 05\n");
}

TEST(cli_asn1, input_that_does_not_parse) {
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"text", "Just some words, not base64 and not DER.\n"},
      {"cut", tessel::ReadFileBytes(kData / "truncated.der")},
      {"badpem", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n"},
      {"badb64", "MIIBCgKCAQEAtest\n"},
      {"deep", std::string(400, '\x30') + '\x80'},
  };
  for (const auto& [name, content] : cases) {
    TResult r = Tessel({"--asn1", TempFile(name, content).string()});
    EXPECT_EQ(r.Status, ExitNotParsed) << name;
    EXPECT_EQ(r.Out, "") << name;
    EXPECT_EQ(r.Err, "Not a valid ASN.1 structure\n") << name;
  }
}

TEST(cli_asn1, unreadable_file_and_usage) {
  TResult missing = Tessel({"--asn1", (kData / "no-such-file.der").string()});
  EXPECT_EQ(missing.Status, ExitUnreadable);
  EXPECT_NE(missing.Err.find("no-such-file.der"), std::string::npos);
  EXPECT_EQ(Tessel({"--asn1", kData.string()}).Status, ExitUnreadable);
  EXPECT_EQ(Tessel({"--asn1"}).Status, ExitUsage);
  EXPECT_EQ(Tessel({"--asn1", "a", "b"}).Status, ExitUsage);
  EXPECT_NE(Tessel({"--help"}).Out.find("--asn1 FILE"), std::string::npos);
}
