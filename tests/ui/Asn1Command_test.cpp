// tessel --asn1 FILE: golden outputs for DER, PEM and base64 input, and the
// exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Command.h"

namespace fs = std::filesystem;
using tessel::cli::RunCommandLine;

namespace {

const fs::path kData = fs::path(TESSEL_TEST_DATA).parent_path().parent_path() / "asn1" / "data";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

TRun RunTessel(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

TRun Asn1(const fs::path& file) { return RunTessel({"--asn1", file.string()}); }

// A file in a fresh temporary directory.
fs::path TempFile(const std::string& name, const std::string& content) {
  static const fs::path dir = [] {
    char pattern[] = "/tmp/tessel-asn1cli-XXXXXX";
    return fs::path(mkdtemp(pattern));
  }();
  fs::path path = dir / name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace

TEST(cli_asn1, golden_outputs) {
  const std::pair<const char*, const char*> pairs[] = {
      {"rows.der", "rows.txt"},   // every kind of row
      {"rows.pem", "rows.txt"},   // the same bytes as PEM, with text before the block
      {"rows.b64", "rows.txt"},   // and as bare base64 with CR LF line ends
      {"cert.der", "cert.txt"},   // an elliptic-curve certificate
      {"trailing.der", "trailing.txt"},  // octets after the element are ignored
  };
  for (auto [input, expected] : pairs) {
    TRun r = Asn1(kData / input);
    EXPECT_EQ(r.Status, 0) << input;
    EXPECT_EQ(r.Err, "") << input;
    EXPECT_EQ(r.Out, ReadAll(kData / expected)) << input;
  }
}

TEST(cli_asn1, one_line_per_element_even_for_line_breaks_in_values) {
  TRun r = Asn1(kData / "rows.der");
  ASSERT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("  IA5String: line one\\x0D\\x0Aline two\n"), std::string::npos);
  size_t lines = static_cast<size_t>(std::count(r.Out.begin(), r.Out.end(), '\n'));
  EXPECT_EQ(lines, 17u);
}

TEST(cli_asn1, input_that_does_not_parse) {
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"text", "Just some words, not base64 and not DER.\n"},
      {"cut", ReadAll(kData / "truncated.der")},
      {"badpem", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n"},
      {"badb64", "MIIBCgKCAQEAtest\n"},
      {"deep", std::string(400, '\x30') + std::string(1, '\x80')},
  };
  for (const auto& [name, content] : cases) {
    TRun r = Asn1(TempFile(name, content));
    EXPECT_EQ(r.Status, tessel::cli::ExitNotParsed) << name;
    EXPECT_EQ(r.Out, "") << name;
    EXPECT_EQ(r.Err, "Not a valid ASN.1 structure\n") << name;
  }
}

TEST(cli_asn1, deeply_nested_corpus_file_is_refused) {
  fs::path file = fs::path(TESSEL_CORPUS) / "bc-test-data" / "asn1" / "nested_seq_indef.ber";
  if (!fs::exists(file)) GTEST_SKIP() << "no corpus";
  TRun r = Asn1(file);
  EXPECT_EQ(r.Status, tessel::cli::ExitNotParsed);
  EXPECT_EQ(r.Err, "Not a valid ASN.1 structure\n");
}

TEST(cli_asn1, base64_that_also_reads_as_der_prefix_is_decoded) {
  // "MAMCAQU=" would start a DER element ('M' = 0x4D) but the whole file is
  // base64 of 30 03 02 01 05.
  TRun r = Asn1(TempFile("short.b64", "MAMCAQU=\n"));
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "SEQUENCE\n  INTEGER: 05\n");
}

TEST(cli_asn1, unreadable_file_and_usage) {
  TRun missing = Asn1(kData / "no-such-file.der");
  EXPECT_EQ(missing.Status, tessel::cli::ExitUnreadable);
  EXPECT_NE(missing.Err.find("no-such-file.der"), std::string::npos);
  EXPECT_EQ(missing.Out, "");
  TRun directory = Asn1(kData);
  EXPECT_EQ(directory.Status, tessel::cli::ExitUnreadable);
  EXPECT_EQ(RunTessel({"--asn1"}).Status, tessel::cli::ExitUsage);
  EXPECT_EQ(RunTessel({"--asn1", "a", "b"}).Status, tessel::cli::ExitUsage);
  TRun help = RunTessel({"--help"});
  EXPECT_NE(help.Out.find("--asn1 FILE"), std::string::npos);
}
