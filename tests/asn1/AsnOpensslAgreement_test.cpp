// Both parsers against `openssl asn1parse` on real data: certificates, CRLs,
// keys and PKCS #7 objects from the corpus (with the dumps stored beside it,
// including the PKCS #7 blobs inside its messages), and objects made with
// openssl at test time. Every element must agree in order, nesting level,
// class, tag and length.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "asn1/asn1.h"
#include "util/Base64.h"
#include "util/MemoryStream.h"

using namespace tessel;
namespace fs = std::filesystem;

namespace {

struct TRow {
  int32_t Depth = 0;
  bool Constructed = false;
  int Class = 0;
  uint32_t Tag = 0;
  int64_t Length = -1;      // -1: indefinite
  bool LengthKnown = true;  // false where re-encoding changes it (indefinite inside)
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

bool HaveOpenssl() { return std::system("openssl version > /dev/null 2>&1") == 0; }

// (class, tag) of an asn1parse tag name.
bool TagOf(std::string name, int& cls, uint32_t& tag) {
  static const std::pair<const char*, uint32_t> universal[] = {
      {"EOC", 0},          {"BOOLEAN", 1},          {"INTEGER", 2},          {"BIT STRING", 3},
      {"OCTET STRING", 4}, {"NULL", 5},             {"OBJECT", 6},           {"OBJECT DESCRIPTOR", 7},
      {"EXTERNAL", 8},     {"REAL", 9},             {"ENUMERATED", 10},      {"EMBEDDED PDV", 11},
      {"UTF8STRING", 12},  {"RELATIVE OID", 13},    {"SEQUENCE", 16},        {"SET", 17},
      {"NUMERICSTRING", 18}, {"PRINTABLESTRING", 19}, {"T61STRING", 20},     {"VIDEOTEXSTRING", 21},
      {"IA5STRING", 22},   {"UTCTIME", 23},         {"GENERALIZEDTIME", 24}, {"GRAPHICSTRING", 25},
      {"VISIBLESTRING", 26}, {"GENERALSTRING", 27}, {"UNIVERSALSTRING", 28}, {"BMPSTRING", 30},
  };
  std::smatch m;
  static const std::regex numbered(R"(^(cont|appl|priv) \[ *(\d+) *\]$)");
  static const std::regex unknownUniversal(R"(^<ASN1 (\d+)>$)");
  if (std::regex_match(name, m, numbered)) {
    cls = m[1] == "cont" ? acContext : m[1] == "appl" ? acApplication : acPrivate;
    tag = static_cast<uint32_t>(std::stoul(m[2]));
  } else if (std::regex_match(name, m, unknownUniversal)) {
    cls = acUniversal;
    tag = static_cast<uint32_t>(std::stoul(m[1]));
  } else {
    cls = acUniversal;
    bool found = false;
    for (auto [n, t] : universal)
      if (name == n) {
        tag = t;
        found = true;
      }
    if (!found) return false;
  }
  if (tag > 31) tag = 31;  // the parsers keep 31 for every high tag number
  return true;
}

// The elements of the first top-level element of an asn1parse -i dump, end
// markers left out. error: the dump reports a failure.
std::vector<TRow> OpensslRows(const std::string& dump, bool& error) {
  static const std::regex line(R"(^\s*\d+:d=(\d+)\s+hl=\s*\d+\s+l=\s*(\d+|inf)\s+(prim|cons):\s*(.*)$)");
  std::vector<TRow> rows;
  std::vector<size_t> open;  // rows of the constructed elements enclosing the current one
  error = false;
  std::istringstream in(dump);
  std::string text;
  bool seenTop = false;
  while (std::getline(in, text)) {
    // Printed string values may hold CR (the pattern's '.' stops at it).
    std::erase(text, '\r');
    if (text.find("Error in encoding") != std::string::npos || text.find("BAD RECURSION") != std::string::npos) {
      error = true;
      break;
    }
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    std::string name = m[4];
    size_t colon = name.find(':');
    if (colon != std::string::npos) name.erase(colon);
    size_t hexDump = name.find("[HEX DUMP]");
    if (hexDump != std::string::npos) name.erase(hexDump);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    TRow row;
    row.Depth = std::stoi(m[1]);
    row.Constructed = m[3] == "cons";
    row.Length = m[2] == "inf" ? -1 : std::stoll(m[2]);
    if (!TagOf(name, row.Class, row.Tag)) {
      ADD_FAILURE() << "unknown asn1parse tag name '" << name << "'";
      error = true;
      break;
    }
    if (row.Depth == 0) {
      if (seenTop) break;
      seenTop = true;
    }
    if (name == "EOC") continue;
    while (!open.empty() && rows[open.back()].Depth >= row.Depth) open.pop_back();
    if (row.Length < 0) {
      row.LengthKnown = false;
      for (size_t i : open) rows[i].LengthKnown = false;
    }
    rows.push_back(row);
    if (row.Constructed) open.push_back(rows.size() - 1);
  }
  return rows;
}

std::vector<TRow> TreeRows(const TAsnElem& root) {
  std::vector<TRow> rows;
  std::vector<std::pair<const TAsnElem*, int32_t>> pending{{&root, 0}};
  while (!pending.empty()) {
    auto [e, depth] = pending.back();
    pending.pop_back();
    rows.push_back({depth, e->Constructed, e->Class, e->Tag, e->ContentLength(), true});
    for (int32_t i = e->Count(); i-- > 0;) pending.push_back({e->Items(i), depth + 1});
  }
  return rows;
}

std::string Describe(const TRow& r) {
  std::ostringstream s;
  s << "d=" << r.Depth << (r.Constructed ? " cons " : " prim ") << "class " << r.Class << " tag " << r.Tag << " l=" << r.Length;
  return s.str();
}

struct TTally {
  int Files = 0;
  int Elements = 0;
};

// Compares both parsers with the dump; returns false (with failures added)
// when they disagree.
bool Agree(const std::string& label, const std::string& octets, const std::vector<TRow>& expected, TTally& tally) {
  SCOPED_TRACE(label);
  if (expected.empty()) {
    ADD_FAILURE() << "empty dump";
    return false;
  }
  auto root = ParseAsn(octets.data(), static_cast<int32_t>(octets.size()));
  if (!root) {
    ADD_FAILURE() << "the tree parser refused it";
    return false;
  }
  std::vector<TRow> tree = TreeRows(*root);
  for (size_t i = 0; i < std::max(tree.size(), expected.size()); ++i) {
    if (i >= tree.size() || i >= expected.size()) {
      ADD_FAILURE() << tree.size() << " elements instead of " << expected.size();
      return false;
    }
    const TRow& want = expected[i];
    const TRow& got = tree[i];
    bool same = got.Depth == want.Depth && got.Constructed == want.Constructed && got.Class == want.Class &&
                got.Tag == want.Tag && (!want.LengthKnown || got.Length == want.Length);
    if (!same) {
      ADD_FAILURE() << "element " << i << ": " << Describe(got) << " instead of " << Describe(want);
      return false;
    }
  }

  // The streaming parser yields the same elements in the same order; its
  // constructed elements all read as SEQUENCE, so only their flag counts.
  TStringStream stream(octets);
  TAsnParser parser(stream);
  for (size_t i = 0; i < expected.size(); ++i) {
    TAsnElem* e = parser.Next();
    if (!e) {
      ADD_FAILURE() << "the streaming parser ended after " << i << " elements";
      return false;
    }
    const TRow& want = expected[i];
    bool same = parser.LastDepth() == want.Depth && e->Constructed == want.Constructed &&
                (want.Constructed || (e->Tag == want.Tag && (e->Tag == 6 || e->Class == want.Class) &&
                                      e->ContentLength() == want.Length)) &&
                (!want.Constructed || e->Indefinite == (want.Length < 0));
    if (!same) {
      ADD_FAILURE() << "streamed element " << i << " at depth " << parser.LastDepth() << " differs from " << Describe(want);
      return false;
    }
  }
  ++tally.Files;
  tally.Elements += static_cast<int>(expected.size());
  return true;
}

// Base64 blocks of a message, decoded, in order.
std::vector<std::string> Base64Blocks(const std::string& text) {
  std::vector<std::string> blocks;
  std::string run;
  auto flush = [&] {
    if (!run.empty()) {
      TStringStream out;
      try {
        Base64DecodeString(run, out);
        blocks.push_back(out.TakeDataString());
      } catch (const std::exception&) {
      }
      run.clear();
    }
  };
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    bool b64 = line.size() >= 4 && line.find_first_not_of(
                                        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") == std::string::npos;
    if (b64) run += line;
    else flush();
  }
  flush();
  return blocks;
}

// The block of the message whose first element has the dump's first header.
bool FindBlob(const std::string& message, const std::string& dump, std::string& blob) {
  static const std::regex first(R"(^\s*0:d=0\s+hl=\s*(\d+)\s+l=\s*(\d+|inf))");
  std::smatch m;
  if (!std::regex_search(dump, m, first)) return false;
  int hl = std::stoi(m[1]);
  bool inf = m[2] == "inf";
  int64_t l = inf ? 0 : std::stoll(m[2]);
  for (std::string& b : Base64Blocks(message)) {
    if (b.size() < 2 || static_cast<uint8_t>(b[0]) != 0x30) continue;
    uint8_t len = static_cast<uint8_t>(b[1]);
    if (inf) {
      if (len == 0x80 && hl == 2) {
        blob = std::move(b);
        return true;
      }
      continue;
    }
    int n = len < 0x80 ? 0 : len & 0x7F;
    if (2 + n != hl || b.size() < size_t(2 + n)) continue;
    int64_t value = len < 0x80 ? len : 0;
    for (int i = 0; i < n; ++i) value = value * 256 + static_cast<uint8_t>(b[2 + i]);
    if (value == l) {
      blob = std::move(b);
      return true;
    }
  }
  return false;
}

}  // namespace

TEST(asn1_openssl, corpus_objects_agree_with_stored_dumps) {
  fs::path corpus = TESSEL_CORPUS;
  fs::path dumps = corpus / "expected-openssl" / "asn1parse";
  if (!fs::exists(dumps)) GTEST_SKIP() << "no corpus";
  TTally tally;
  int refused = 0;
  int dumpsSeen = 0;
  int notLocated = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dumps)) {
    std::string name = entry.path().string();
    const std::string suffix = ".asn1parse.txt";
    if (!entry.is_regular_file() || name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    ++dumpsSeen;
    fs::path relative = fs::relative(entry.path(), dumps).string();
    std::string rel = relative.string();
    rel.erase(rel.size() - suffix.size());
    std::string dump = ReadAll(entry.path());
    bool error = false;
    std::vector<TRow> rows = OpensslRows(dump, error);
    std::string octets;
    if (fs::exists(corpus / rel)) {
      octets = ReadAll(corpus / rel);
      if (error) {
        // openssl gave up (nesting beyond its limit, broken encoding): so do we.
        EXPECT_FALSE(ParseAsn(octets.data(), static_cast<int32_t>(octets.size()))) << rel;
        ++refused;
        continue;
      }
    } else {
      // A PKCS #7 blob taken out of a message (".p7m" / ".p7s" after its name).
      fs::path message = corpus / fs::path(rel).replace_extension("");
      if (error || !fs::exists(message) || !FindBlob(ReadAll(message), dump, octets)) {
        ++notLocated;
        continue;
      }
    }
    Agree(rel, octets, rows, tally);
  }
  std::cout << "[ asn1parse ] corpus: " << tally.Files << " objects, " << tally.Elements << " elements agree; "
            << refused << " refused like openssl; " << notLocated << " of " << dumpsSeen << " dumps without a blob\n";
  EXPECT_GE(tally.Files, 170);
  EXPECT_LE(notLocated, 5);
}

TEST(asn1_openssl, objects_made_now_agree_with_asn1parse) {
  if (!HaveOpenssl()) GTEST_SKIP() << "no openssl";
  char pattern[] = "/tmp/tessel-asn1-XXXXXX";
  ASSERT_TRUE(mkdtemp(pattern));
  fs::path dir = pattern;
  auto run = [&](const std::string& command) {
    std::string full = "cd '" + dir.string() + "' && ( " + command + " ) > /dev/null 2>&1";
    return std::system(full.c_str()) == 0;
  };
  std::ofstream(dir / "msg.txt") << "Content-Type: text/plain\r\n\r\nHello from the tests.\r\n";
  std::ofstream(dir / "ca.cnf") << "[ca]\ndefault_ca = c\n[c]\ndatabase = index.txt\ndefault_md = sha256\n"
                                   "default_crl_days = 30\ncrl_extensions = ext\n[ext]\nauthorityKeyIdentifier = keyid\n";
  {
    std::ofstream index(dir / "index.txt");
    for (int i = 1; i <= 300; ++i)
      index << "R\t301231235959Z\t240101000000Z," << (i % 3 ? "keyCompromise" : "superseded") << "\t"
            << std::hex << std::uppercase << (0x1000 + i) << std::dec << "\tunknown\t/CN=Revoked " << i << "\n";
  }
  ASSERT_TRUE(run("openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.pem -days 30 "
                  "-subj '/C=DE/O=Tessel Tests/CN=RSA Signer/emailAddress=rsa@example.org' "
                  "-addext 'subjectAltName=email:rsa@example.org' -addext 'extendedKeyUsage=emailProtection'"));
  ASSERT_TRUE(run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ec.key "
                  "-out ec.pem -days 30 -subj '/CN=EC Signer'"));
  const std::pair<const char*, const char*> made[] = {
      {"rsa.der", "openssl x509 -in rsa.pem -outform DER -out rsa.der"},
      {"ec.der", "openssl x509 -in ec.pem -outform DER -out ec.der"},
      {"rsakey.der", "openssl pkey -in rsa.key -outform DER -out rsakey.der"},
      {"crl.der", "openssl ca -config ca.cnf -gencrl -keyfile rsa.key -cert rsa.pem -out crl.pem && "
                  "openssl crl -in crl.pem -outform DER -out crl.der"},
      {"signed.der", "openssl smime -sign -in msg.txt -signer rsa.pem -inkey rsa.key -nodetach -outform DER -out signed.der"},
      {"detached.der", "openssl smime -sign -in msg.txt -signer ec.pem -inkey ec.key -outform DER -out detached.der"},
      {"streamed.ber", "openssl cms -sign -in msg.txt -signer rsa.pem -inkey rsa.key -nodetach -stream -outform DER "
                       "-out streamed.ber"},
      {"enveloped.der", "openssl smime -encrypt -aes256 -in msg.txt -outform DER -out enveloped.der rsa.pem"},
      {"enveloped.ber", "openssl cms -encrypt -aes128 -in msg.txt -stream -outform DER -out enveloped.ber rsa.pem"},
      {"certs.p7", "openssl crl2pkcs7 -nocrl -certfile rsa.pem -certfile ec.pem -outform DER -out certs.p7"},
      {"bundle.p12", "openssl pkcs12 -export -in rsa.pem -inkey rsa.key -passout pass:x -out bundle.p12"},
  };
  TTally tally;
  for (auto [file, command] : made) {
    if (!run(command)) {
      ADD_FAILURE() << "could not make " << file << ": " << command;
      continue;
    }
    std::string octets = ReadAll(dir / file);
    std::string dump = Capture("openssl asn1parse -i -inform DER -in '" + (dir / file).string() + "' 2>/dev/null");
    bool error = false;
    std::vector<TRow> rows = OpensslRows(dump, error);
    EXPECT_FALSE(error) << file;
    Agree(file, octets, rows, tally);
  }
  std::cout << "[ asn1parse ] made now: " << tally.Files << " objects, " << tally.Elements << " elements agree\n";
  EXPECT_EQ(tally.Files, static_cast<int>(std::size(made)));
  fs::remove_all(dir);
}
