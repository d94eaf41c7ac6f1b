// Both parsers against `openssl asn1parse -i`: the corpus objects with their
// stored dumps (including the PKCS #7 blobs inside messages) and objects made
// with openssl now. Every element must agree in order, level, class, tag and
// length; the streaming parser must give the same elements.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <regex>
#include <set>

#include "AsnTestUtil.h"
#include "CorpusPresence.h"
#include "asn1/AsnRows.h"
#include "util/encodings/Base64.h"

using namespace tessel;
using namespace tessel::test;
namespace fs = std::filesystem;

namespace {

// "d cls tag c|p length" per element; length "?" where an indefinite length
// inside makes the re-encoded length differ from the input's.
using TRows = std::vector<std::string>;

// The first top-level element of a dump without end markers; empty when
// openssl reported an error.
TRows OpensslRows(const std::string& dump) {
  static const std::regex line(
      R"(^\s*\d+:d=(\d+)\s+hl=\s*\d+\s+l=\s*(\d+|inf)\s+(prim|cons):\s*([^:]*?)\s*(\[HEX DUMP\])?(:.*)?$)");
  static const std::regex numbered(R"((cont|appl|priv) \[ *(\d+) *\]|<ASN1 (\d+)>)");
  // The universal tag names openssl prints, by tag number ("" where it prints none).
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    std::istringstream all(
        "EOC|BOOLEAN|INTEGER|BIT STRING|OCTET STRING|NULL|OBJECT|OBJECT DESCRIPTOR|EXTERNAL|REAL|ENUMERATED|"
        "EMBEDDED PDV|UTF8STRING|RELATIVE OID|||SEQUENCE|SET|NUMERICSTRING|PRINTABLESTRING|T61STRING|"
        "VIDEOTEXSTRING|IA5STRING|UTCTIME|GENERALIZEDTIME|GRAPHICSTRING|VISIBLESTRING|GENERALSTRING|"
        "UNIVERSALSTRING||BMPSTRING");
    for (std::string name; std::getline(all, name, '|');) v.push_back(name);
    return v;
  }();
  TRows rows;
  std::vector<std::pair<int, size_t>> open;  // level and row of the enclosing constructed elements
  std::istringstream in(dump);
  std::string text;
  while (std::getline(in, text)) {
    std::erase(text, '\r');  // printed string values may hold CR
    if (text.find("Error in encoding") != std::string::npos || text.find("BAD RECURSION") != std::string::npos)
      return {};
    std::smatch m, n;
    if (!std::regex_match(text, m, line)) continue;
    int depth = std::stoi(m[1]);
    if (depth == 0 && !rows.empty()) break;
    std::string name = m[4];
    int cls = 0;
    unsigned long tag = std::find(names.begin(), names.end(), name) - names.begin();
    if (std::regex_match(name, n, numbered)) {
      cls = n[1] == "cont" ? 4 : n[1] == "appl" ? 2 : n[1] == "priv" ? 6 : 0;
      tag = std::stoul(n[2].matched ? n[2].str() : n[3].str());
    } else if (tag >= names.size()) {
      ADD_FAILURE() << "unknown tag name " << name;
      return {};
    }
    if (name == "EOC") continue;
    while (!open.empty() && open.back().first >= depth) open.pop_back();
    bool inf = m[2] == "inf";
    if (inf)
      for (auto& [level, row] : open) rows[row].replace(rows[row].rfind(' ') + 1, std::string::npos, "?");
    rows.push_back(std::to_string(depth) + " " + std::to_string(cls) + " " + std::to_string(std::min(tag, 31ul)) +
                   (m[3] == "cons" ? " c " : " p ") + (inf ? "?" : m[2].str()));
    if (m[3] == "cons") open.push_back({depth, rows.size() - 1});
  }
  return rows;
}

int gFiles = 0, gElements = 0;

// Dumps of a message's PKCS #7 blob that the base64 scan cannot find there.
const std::set<std::string> kNoBlob = {
    "kde-mimetreeparser/autotests/testdata/smime-cert.mbox.p7m",                      // garbage base64 on purpose
    "kmime/autotests/data/x-pkcs7.mbox.p7m",                                          // undecodable on purpose
    "mimekit/UnitTests/TestData/smime/octet-stream-with-mixed-line-endings.dat.p7s",  // binary, not base64
};

void ExpectAgreement(const std::string& label, const std::string& octets, const TRows& expected) {
  SCOPED_TRACE(label);
  auto root = Parse(octets);
  ASSERT_TRUE(root) << "the tree parser refused it";
  TRows tree;
  VisitAsnRows(*root, [&](const TAsnRow& r) {
    const TAsnElem& e = *r.Element;
    bool unknown = tree.size() < expected.size() && expected[tree.size()].back() == '?';
    tree.push_back(std::to_string(r.Depth) + " " + std::to_string(e.Class) + " " + std::to_string(e.Tag) +
                   (e.Constructed ? " c " : " p ") + (unknown ? "?" : std::to_string(e.ContentLength())));
  });
  ASSERT_EQ(tree, expected);
  // The streaming parser yields the same elements; its constructed ones all
  // read as universal SEQUENCEs (lengths not compared), and its OIDs as universal.
  TStringStream stream(octets);
  TAsnParser parser(stream);
  for (const std::string& want : expected) {
    TAsnElem* e = parser.Next();
    ASSERT_TRUE(e);
    std::string got = std::to_string(parser.LastDepth()) + " " + std::to_string(e->Class) + " " +
                      std::to_string(e->Tag) + (e->Constructed ? " c" : " p " + std::to_string(e->ContentLength()));
    std::string level = want.substr(0, want.find(' '));
    std::string wanted = e->Constructed ? level + " 0 16 c" : want;
    if (e->Tag == 6 && !e->Constructed) wanted = level + " 0 6" + want.substr(want.find(" p "));
    ASSERT_EQ(got, wanted);
  }
  ++gFiles;
  gElements += static_cast<int>(expected.size());
}

// The base64 block of a message whose first element has the dump's first
// header: the same length, or an indefinite one.
std::string FindBlob(const std::string& message, const std::string& dump) {
  std::smatch m;
  if (!std::regex_search(dump, m, std::regex(R"(^\s*0:d=0\s+hl=\s*(\d+)\s+l=\s*(\d+|inf))"))) return "";
  std::istringstream in(message + "\n-\n");
  std::string line, run;
  while (std::getline(in, line)) {
    std::erase(line, '\r');
    if (line.size() >= 4 &&
        line.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
            std::string::npos) {
      run += line;
      continue;
    }
    TStringStream out;
    try {
      Base64DecodeString(run, out);
    } catch (const std::exception&) {
    }
    run.clear();
    const std::string& blob = out.DataString();
    int32_t used = 0;
    if (blob.size() < 2 || blob[0] != '\x30' || !ParseAsn(blob.data(), static_cast<int32_t>(blob.size()), &used))
      continue;
    if (m[2] == "inf" ? blob[1] == '\x80' : used == std::stoi(m[1]) + std::stoi(m[2])) return blob;
  }
  return "";
}

}  // namespace

TEST(Asn1Openssl, corpus_objects_agree_with_stored_dumps) {
  fs::path corpus = TESSEL_CORPUS, dumps = corpus / "expected-openssl" / "asn1parse";
  TESSEL_REQUIRE_CORPUS(dumps);
  int seen = 0, refused = 0, missing = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dumps)) {
    std::string rel = fs::relative(entry.path(), dumps).string();
    if (!entry.is_regular_file() || !rel.ends_with(".asn1parse.txt")) continue;
    ++seen;
    rel.erase(rel.size() - 14);
    std::string dump = ReadFileBytes(entry.path()), octets;
    TRows rows = OpensslRows(dump);
    if (fs::exists(corpus / rel)) {
      octets = ReadFileBytes(corpus / rel);
      if (rows.empty()) {  // openssl gave up (nesting past its limit): so do we
        EXPECT_FALSE(Parse(octets)) << rel;
        ++refused;
        continue;
      }
    } else {  // a PKCS #7 blob inside a message: the name has ".p7m" or ".p7s" added
      octets = rows.empty() ? "" : FindBlob(ReadFileBytes(corpus / fs::path(rel).replace_extension("")), dump);
      if (octets.empty()) {
        ++missing;
        EXPECT_TRUE(kNoBlob.count(rel)) << rel << ": no such PKCS #7 blob found in the message";
        continue;
      }
    }
    ExpectAgreement(rel, octets, rows);
  }
  std::cout << "[ asn1parse ] corpus: " << gFiles << " objects, " << gElements << " elements agree; " << refused
            << " refused like openssl; " << missing << " of " << seen << " dumps without an object\n";
  EXPECT_GE(gFiles, 177);
  EXPECT_EQ(missing, static_cast<int>(kNoBlob.size()));
}

TEST(Asn1Openssl, objects_made_now_agree) {
  if (std::system("openssl version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl";
  TTempDir temp("tessel-asn1");
  const fs::path& dir = temp.Path();
  auto run = [&](const std::string& command) {
    return std::system(("cd '" + dir.string() + "' && ( " + command + " ) > /dev/null 2>&1").c_str()) == 0;
  };
  std::ofstream(dir / "msg.txt") << "Content-Type: text/plain\r\n\r\nHello from the tests.\r\n";
  ASSERT_TRUE(run(
      "openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.pem -days 30 -subj "
      "'/C=DE/O=Tessel Tests/CN=RSA Signer/emailAddress=rsa@example.org' -addext 'subjectAltName=email:rsa@example.org'"));
  ASSERT_TRUE(
      run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ec.key -out ec.pem "
          "-days 30 -subj '/CN=EC Signer'"));
  const std::pair<const char*, const char*> made[] = {
      {"rsa.der", "openssl x509 -in rsa.pem -outform DER -out rsa.der"},
      {"ec.der", "openssl x509 -in ec.pem -outform DER -out ec.der"},
      {"key.der", "openssl pkey -in rsa.key -outform DER -out key.der"},
      {"signed.der",
       "openssl smime -sign -in msg.txt -signer rsa.pem -inkey rsa.key -nodetach -outform DER -out signed.der"},
      {"detached.der", "openssl smime -sign -in msg.txt -signer ec.pem -inkey ec.key -outform DER -out detached.der"},
      {"streamed.ber",
       "openssl cms -sign -in msg.txt -signer rsa.pem -inkey rsa.key -nodetach -stream -outform DER -out streamed.ber"},
      {"enveloped.der", "openssl smime -encrypt -aes256 -in msg.txt -outform DER -out enveloped.der rsa.pem"},
      {"enveloped.ber", "openssl cms -encrypt -aes128 -in msg.txt -stream -outform DER -out enveloped.ber rsa.pem"},
      {"certs.p7", "openssl crl2pkcs7 -nocrl -certfile rsa.pem -certfile ec.pem -outform DER -out certs.p7"},
      {"bundle.p12", "openssl pkcs12 -export -in rsa.pem -inkey rsa.key -passout pass:x -out bundle.p12"}};
  int before = gFiles, elementsBefore = gElements;
  for (auto [file, command] : made) {
    std::string dump = std::string(file) + ".txt";
    ASSERT_TRUE(run(std::string(command) + " && openssl asn1parse -i -inform DER -in " + file + " > " + dump))
        << command;
    ExpectAgreement(file, ReadFileBytes(dir / file), OpensslRows(ReadFileBytes(dir / dump)));
  }
  std::cout << "[ asn1parse ] made now: " << gFiles - before << " objects, " << gElements - elementsBefore
            << " elements agree\n";
  EXPECT_EQ(gFiles - before, static_cast<int>(std::size(made)));
}
