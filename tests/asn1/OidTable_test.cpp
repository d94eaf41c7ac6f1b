// The built-in OID name table and the script that generates it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "asn1/oid.h"

using namespace tessel;

TEST(OidTable, pinned_rows_and_repeated_oids) {
  const std::tuple<int, const char*, const char*> rows[] = {{1, "0 9 2342 19200300 100 1 25", "domainComponent"},
                                                            {62, "1 2 840 113549 1 7 1", "data"},
                                                            {63, "1 2 840 113549 1 7 2", "signedData"},
                                                            {64, "1 2 840 113549 1 7 3", "envelopedData"},
                                                            {71, "1 2 840 113549 1 9 1", "emailAddress"},
                                                            {162, "1 2 840 113549 3 7", "DES-EDE3-CBC"},
                                                            {302, "2 5 4 3", "commonName"},
                                                            {524, "2 54 1775 99", "set-data"}};
  ASSERT_EQ(OidTableSize, 524);
  for (auto [row, oid, name] : rows) {
    EXPECT_STREQ(OidTable[row - 1].Oid, oid) << row;
    EXPECT_STREQ(OidTable[row - 1].Name, name) << row;
  }
  std::set<std::string> seen;
  std::vector<std::string> repeated;
  for (const TOidRecord& r : OidTable) {
    std::string oid = r.Oid;
    EXPECT_TRUE(oid.find_first_not_of("0123456789 ") == std::string::npos && oid.find("  ") == std::string::npos &&
                oid.front() != ' ' && oid.back() != ' ' && *r.Name)
        << oid;
    if (!seen.insert(oid).second) repeated.push_back(oid);
  }
  EXPECT_EQ(repeated, (std::vector<std::string>{"1 2 840 10045 1 2", "1 3 36 3 1 3", "2 16 840 1 113730 2 5"}));
  // The later row wins.
  EXPECT_EQ(OidName("1.2.840.10045.1.2"), "public-key-type");
  EXPECT_EQ(OidName("1.3.36.3.1.3"), "des-3");
  EXPECT_EQ(OidName("2.16.840.1.113730.2.5"), "netscape-cert-sequence");
}

TEST(OidTable, names_of_everyday_oids) {
  // Captions, and the names in certificates, are in the --asn1 golden files.
  const std::pair<const char*, const char*> names[] = {{"1.2.840.113549.1.1.1", "rsaEncryption"},
                                                       {"1.2.840.113549.1.1.11", "sha256WithRSAEncryption"},
                                                       {"1.2.840.113549.1.9.3", "contentType"},
                                                       {"1.2.840.113549.1.9.4", "messageDigest"},
                                                       {"1.2.840.113549.1.9.5", "signingTime"},
                                                       {"1.2.840.113549.1.9.15", "sMIMECapabilities"},
                                                       {"1.2.840.113549.1.9.16.2.11", "encrypKeyPref"},
                                                       {"1.2.840.113549.1.9.16.2.47", "signingCertificateV2"},
                                                       {"1.2.840.113549.3.2", "rc2CBC"},
                                                       {"1.3.14.3.2.26", "sha1"},
                                                       {"1.3.6.1.5.5.7.3.4", "emailProtection"},
                                                       {"2.16.840.1.101.3.4.1.2", "aes128-CBC"},
                                                       {"2.16.840.1.101.3.4.2.1", "sha-256"},
                                                       {"2.23.42.7.0", "hashedRootKey"}};
  for (auto [oid, name] : names) EXPECT_EQ(OidName(oid), name) << oid;
  for (const char* unknown : {"1.2.3.4", "2.5.4", "2.5.4.3.0", "2 5 4 3", ""}) EXPECT_EQ(OidName(unknown), "");
}

TEST(OidTable, generated_file_matches_its_script) {
  if (!std::filesystem::exists("/etc/dumpasn1/dumpasn1.cfg")) GTEST_SKIP() << "no dumpasn1 configuration";
  std::filesystem::path repo = std::filesystem::path(TESSEL_TEST_DATA).parent_path().parent_path().parent_path();
  std::string command = "python3 '" + (repo / "scripts" / "gen_oid_table.py").string() + "' --check";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}
