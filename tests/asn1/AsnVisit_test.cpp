// The walk without a tree (VisitAsn, CheckAsn) and the row values made from
// it: they must say exactly what the parsed tree says, for good input and
// for every kind of damage.
#include <gtest/gtest.h>

#include <filesystem>

#include "AsnTestUtil.h"
#include "asn1/AsnRows.h"
#include "asn1/AsnText.h"
#include "util/streams/FileStream.h"
#include "util/text/HexText.h"

using namespace tessel;
using namespace tessel::test;

namespace {

const std::filesystem::path kData = TESSEL_TEST_DATA;

// Rows as "depth name: value" lines, from the walk and from the tree.
class TRowCollector : public TAsnVisitor {
public:
  void Visit(const TAsnItem& item) override {
    std::string line = std::to_string(item.Depth) + " ";
    AppendAsnTagName(line, item.Tag);
    if (!item.Constructed) {
      line += ": ";
      Values_.Append(line, item);
    }
    Lines.push_back(line);
  }
  std::vector<std::string> Lines;

private:
  TAsnRowValues Values_;
};

std::vector<std::string> TreeLines(const TAsnElem& root) {
  std::vector<std::string> lines;
  for (const TAsnRow& row : AsnTreeRows(root))
    lines.push_back(std::to_string(row.Depth) + " " + (row.HasValue ? row.Name + ": " + row.Value : row.Name));
  return lines;
}

// Walk, check and tree agree on the verdict, the octets used, the failure
// and, for good input, every row.
void ExpectAgreement(const std::string& octets, const std::string& label) {
  const auto* data = octets.data();
  auto size = static_cast<int32_t>(octets.size());
  int32_t treeUsed = -1, checkUsed = -1, visitUsed = -1;
  TAsnParseFailure treeFailure, checkFailure, visitFailure;
  auto root = ParseAsn(data, size, &treeUsed, &treeFailure);
  bool checked = CheckAsn(data, size, &checkUsed, &checkFailure);
  TRowCollector rows;
  bool visited = VisitAsn(data, size, rows, &visitUsed, &visitFailure);
  ASSERT_EQ(checked, root != nullptr) << label;
  ASSERT_EQ(visited, root != nullptr) << label;
  EXPECT_EQ(checkUsed, treeUsed) << label;
  EXPECT_EQ(visitUsed, treeUsed) << label;
  EXPECT_EQ(checkFailure.Offset, treeFailure.Offset) << label;
  EXPECT_EQ(checkFailure.Reason, treeFailure.Reason) << label;
  EXPECT_EQ(visitFailure.Offset, treeFailure.Offset) << label;
  if (!root) {
    EXPECT_TRUE(rows.Lines.empty()) << label;  // all or nothing, as the tree
    return;
  }
  EXPECT_EQ(rows.Lines, TreeLines(*root)) << label;
}

}  // namespace

TEST(Asn1Visit, agrees_with_the_tree_on_every_kind_of_element) {
  const char* cases[] = {"02 01 05",
                         "30 80 02 01 01 00 00",
                         "30 80 31 80 02 01 01 00 00 04 00 00 00",
                         "30 05 BF 2A 02 05 00",                 // a high tag number
                         "A2 05 82 03 01 02 03",                 // context [2] primitive: a TInt whatever the class
                         "A6 05 86 03 2A 03 04",                 // context [6] primitive: a TOID
                         "30 0A 87 04 C0 A8 00 01 87 02 41 42",  // an address in [7], text in [7]
                         "30 0A 1E 04 00 41 D8 00 1C 02 00 41",  // BMP with a lone surrogate, cut UniversalString
                         "30 0B 0C 03 E2 82 AC 0C 04 C3 28 0A 0D",
                         "30 06 0A 01 03 01 01 FF",  // ENUMERATED, BOOLEAN
                         "24 80 04 02 41 42 00 00",  // constructed OCTET STRING of indefinite length
                         "04 80",                    // primitive with indefinite length: empty content
                         "30 80 20 80",              // constructed tag 0 inside closes as a marker
                         "30 80 02 01 01",           // no end marker
                         "30 80 02 05 01 00 00",
                         "A0 0A 30 80 02 01 01 00 00",     // the parent ends inside its child
                         "30 09 02 01 01 02 05 01 02 03",  // a child longer than its parent
                         "30 85 00 00 00 00 03",           // five length octets
                         "30 84 80 00 00 00",              // 2^31
                         "1F",                             // cut inside the identifier
                         "30"};
  for (const char* hex : cases) ExpectAgreement(FromHex(hex), hex);
  ExpectAgreement(FromHex("04 82 01 2C") + std::string(300, '\x5A'), "long octet string, cut at 256");
  ExpectAgreement(FromHex("13 82 01 2C") + std::string(300, 'p'), "long string, cut at 256");
  ExpectAgreement(NestedIndefinite(kMaxAsnDepth - 1), "deepest allowed");
  ExpectAgreement(NestedIndefinite(kMaxAsnDepth), "one level too deep");
  ExpectAgreement("", "empty");
}

TEST(Asn1Visit, agrees_with_the_tree_on_files_and_their_damage) {
  for (const char* name : {"cert.der", "rows.der", "truncated.der", "trailing.der"}) {
    std::string octets = ReadFileBytes(kData / name);
    ExpectAgreement(octets, name);
    // Every cut, and one flipped octet at every place (a tag, a length, a
    // value changes), agree as well.
    for (size_t n = 0; n < octets.size(); n += 3) ExpectAgreement(octets.substr(0, n), std::string(name) + " cut");
    for (size_t i = 0; i < octets.size(); ++i) {
      std::string damaged = octets;
      damaged[i] = static_cast<char>(damaged[i] ^ (i % 2 ? 0x80 : 0x21));
      ExpectAgreement(damaged, std::string(name) + " flip " + std::to_string(i));
    }
  }
}

TEST(Asn1Visit, oid_captions_beyond_those_kept) {
  // More different OIDs than the captions kept, each named twice: the later
  // ones are made afresh and must read the same.
  std::string body;
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 5000; ++i) body += FromHex("06 04 2A 03") + char(0x80 | (i >> 7)) + char(i & 0x7F);
  body += FromHex("06 09 2A 86 48 86 F7 0D 01 07 02");  // a named one
  std::string octets = FromHex("30 83") + char(body.size() >> 16) + char(body.size() >> 8) + char(body.size()) + body;
  ExpectAgreement(octets, "10001 OIDs");
  TRowCollector rows;
  ASSERT_TRUE(VisitAsn(octets.data(), static_cast<int32_t>(octets.size()), rows));
  EXPECT_EQ(rows.Lines.back(), "1 OID: signedData ( 1.2.840.113549.1.7.2 ) ");
}

TEST(Asn1Visit, hex_values_across_buffer_pieces) {
  // Widths around the pieces the hex is written in, with and without
  // separators, whole and cut.
  for (size_t n : {0u, 1u, 255u, 256u, 257u, 511u, 512u, 513u, 1000u}) {
    std::string octets;
    for (size_t i = 0; i < n; ++i) octets += static_cast<char>((i * 37 + 11) & 0xFF);
    for (char separator : {'\0', ' ', ':'}) {
      std::string out = "x";
      AppendAsnHex(out, octets, 0, separator);
      EXPECT_EQ(out, "x" + BytesToHex(octets, separator)) << n;
      out.clear();
      AppendAsnHex(out, octets, 256, separator);
      std::string expected = BytesToHex(octets.substr(0, 256), separator);
      if (n > 256) expected += "... --Skipped " + std::to_string(n - 256) + " octets--";
      EXPECT_EQ(out, expected) << n;
    }
  }
}
