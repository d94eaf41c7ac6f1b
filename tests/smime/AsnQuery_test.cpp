// ASN.1 path queries over trees built from DER.
#include <gtest/gtest.h>

#include "SmimeTestSupport.h"
#include "smime/AsnQuery.h"
#include "smime/Pkcs7Info.h"
#include "util/Exception.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::unique_ptr<TAsnElem> Parse(const std::string& der) {
  auto tree = ParseAsn(der.data(), static_cast<int32_t>(der.size()));
  EXPECT_NE(tree, nullptr);
  return tree;
}

std::string Int(int v) { return Integer(std::string(1, static_cast<char>(v))); }

// The first octet of each selected INTEGER, in order.
std::vector<int> Values(const std::vector<TAsnElem*>& list) {
  std::vector<int> out;
  for (TAsnElem* e : list) out.push_back(e->Content().empty() ? -1 : static_cast<unsigned char>(e->Content()[0]));
  return out;
}

std::string ContentInfo(const std::string& type, const std::string& inner) { return Seq(Oid(type) + Explicit0(inner)); }

}  // namespace

TEST(AsnQuery, index_steps_count_from_either_end_and_wrap) {
  auto five = Parse(Seq(Int(1) + Int(2) + Int(3) + Int(4) + Int(5)));
  struct {
    const char* Path;
    int Value;
  } cases[] = {{"[0]", 1}, {"[4]", 5}, {"[-1]", 5}, {"[-2]", 4}, {"[5]", 1},
               {"[7]", 3}, {"[-5]", 1}, {"[-6]", 5}, {"[-12]", 4}, {"[+1]", 2}};
  for (const auto& c : cases) {
    auto selected = AsnQuery(five.get(), c.Path);
    ASSERT_EQ(selected.size(), 1u) << c.Path;
    EXPECT_EQ(Values(selected)[0], c.Value) << c.Path;
  }
}

TEST(AsnQuery, star_applies_the_rest_to_every_child_in_order) {
  auto set = Parse(Set(Seq(Int(1) + Int(9)) + Seq(Int(2)) + Seq(Int(3) + Int(8) + Int(7))));
  EXPECT_EQ(Values(AsnQuery(set.get(), "[*]/[0]")), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Values(AsnQuery(set.get(), "[*]/[-1]")), (std::vector<int>{9, 2, 7}));
  EXPECT_EQ(Values(AsnQuery(set.get(), "[*]/[*]")), (std::vector<int>{1, 9, 2, 3, 8, 7}));
  EXPECT_EQ(AsnQuery(set.get(), "[*]").size(), 3u);
}

TEST(AsnQuery, oid_step_keeps_the_element_itself) {
  auto signedInfo = Parse(ContentInfo("1.2.840.113549.1.7.2", Seq(Int(1) + Set(""))));
  auto envelopedInfo = Parse(ContentInfo("1.2.840.113549.1.7.3", Seq(Int(0))));
  auto selected = AsnQuery(signedInfo.get(), "1.2.840.113549.1.7.2");
  ASSERT_EQ(selected.size(), 1u);
  EXPECT_EQ(selected[0], signedInfo.get());
  EXPECT_TRUE(AsnQuery(envelopedInfo.get(), "1.2.840.113549.1.7.2").empty());
  // The comparison is on the whole dotted text: a prefix is no match.
  EXPECT_TRUE(AsnQuery(signedInfo.get(), "1.2.840.113549.1.7").empty());
  // The step after the test applies to the same element.
  EXPECT_EQ(Values(AsnQuery(signedInfo.get(), "1.2.840.113549.1.7.2/[1]/[0]/[0]")), std::vector<int>{1});
  // A first child that is no OBJECT IDENTIFIER, and an element without
  // children, fail the test.
  auto ints = Parse(Seq(Int(1)));
  EXPECT_TRUE(AsnQuery(ints.get(), "1.2.840.113549.1.7.2").empty());
  EXPECT_TRUE(AsnQuery(ints->Items(0), "1.2.840.113549.1.7.2").empty());
}

TEST(AsnQuery, empty_path_selects_the_root_and_steps_below_leaves_select_nothing) {
  auto tree = Parse(Seq(Int(1) + Seq("")));
  auto self = AsnQuery(tree.get(), "");
  ASSERT_EQ(self.size(), 1u);
  EXPECT_EQ(self[0], tree.get());
  EXPECT_TRUE(AsnQuery(tree.get(), "[0]/[0]").empty());  // a primitive INTEGER
  EXPECT_TRUE(AsnQuery(tree.get(), "[1]/[0]").empty());  // an empty SEQUENCE
  EXPECT_TRUE(AsnQuery(tree.get(), "[1]/[*]").empty());
  EXPECT_TRUE(AsnQuery(nullptr, "[0]").empty());
  EXPECT_TRUE(AsnQuery(nullptr, "").empty());
}

TEST(AsnQuery, malformed_paths_raise_before_any_element_is_looked_at) {
  auto tree = Parse(Seq(Int(1)));
  for (const char* path : {"//", "/[0]", "[0]/", "[0]//[0]", "/"}) {
    try {
      AsnQuery(tree.get(), path);
      ADD_FAILURE() << path;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Invalid part:\"\"") << path;
    }
  }
  // Even where an earlier step already selected nothing.
  EXPECT_THROW(AsnQuery(tree.get(), "9.9/[0]/"), Exception);
  EXPECT_THROW(AsnQuery(nullptr, "[0]//"), Exception);
  for (const char* path : {"[x]", "[]", "[", "[1", "[1.5]", "[99999999999]", "[ 1]"}) {
    try {
      AsnQuery(tree.get(), path);
      ADD_FAILURE() << path;
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find("is not a valid integer value"), std::string::npos) << path << ": " << e.Message();
    }
  }
}

TEST(AsnQuery, pkcs7_paths_pick_certificates_signers_and_recipients) {
  std::string detached = PkiFile("detached.p7s");
  auto signedTree = Parse(detached);
  auto certificates = AsnQuery(signedTree.get(), kSignedCertificatesPath);
  ASSERT_EQ(certificates.size(), 1u);
  EXPECT_EQ(certificates[0]->Tag, 0u);
  EXPECT_EQ(certificates[0]->Count(), 1);
  EXPECT_EQ(AsnQuery(signedTree.get(), kSignerInfosPath).size(), 1u);
  EXPECT_TRUE(AsnQuery(signedTree.get(), kRecipientInfosPath).empty());

  auto envelopedTree = Parse(PkiFile("enc-two.p7m"));
  auto recipients = AsnQuery(envelopedTree.get(), kRecipientInfosPath);
  ASSERT_EQ(recipients.size(), 1u);
  EXPECT_EQ(recipients[0]->Tag, 17u);
  EXPECT_EQ(recipients[0]->Count(), 2);
  EXPECT_TRUE(AsnQuery(envelopedTree.get(), kSignedCertificatesPath).empty());
}
