// ASN.1 path queries over trees built from DER.
#include "SmimeTestSupport.h"
#include "smime/cms/AsnQuery.h"
#include "util/system/Exception.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::unique_ptr<TAsnElem> Parse(const std::string& der) {
  return ParseAsn(der.data(), static_cast<int32_t>(der.size()));
}
std::string Int(int v) { return Integer(std::string(1, static_cast<char>(v))); }

// The first octet of each selected element, in order.
std::vector<int> Values(const std::vector<TAsnElem*>& list) {
  std::vector<int> out;
  for (TAsnElem* e : list) out.push_back(e->Content().empty() ? -1 : static_cast<unsigned char>(e->Content()[0]));
  return out;
}

std::string ErrorOf(TAsnElem* root, const char* path) {
  try {
    AsnQuery(root, path);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

}  // namespace

TEST(AsnQuery, index_steps_count_from_either_end_and_wrap) {
  auto five = Parse(Seq(Int(1) + Int(2) + Int(3) + Int(4) + Int(5)));
  const std::pair<const char*, int> cases[] = {{"[0]", 1}, {"[-1]", 5}, {"[-2]", 4},  {"[5]", 1},
                                               {"[7]", 3}, {"[-6]", 5}, {"[-12]", 4}, {"[+1]", 2}};
  for (const auto& [path, value] : cases)
    EXPECT_EQ(Values(AsnQuery(five.get(), path)), std::vector<int>{value}) << path;
}

TEST(AsnQuery, star_applies_the_rest_to_every_child_in_order) {
  auto set = Parse(Set(Seq(Int(1) + Int(9)) + Seq(Int(2)) + Seq(Int(3) + Int(8) + Int(7))));
  EXPECT_EQ(Values(AsnQuery(set.get(), "[*]/[0]")), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Values(AsnQuery(set.get(), "[*]/[-1]")), (std::vector<int>{9, 2, 7}));
  EXPECT_EQ(Values(AsnQuery(set.get(), "[*]/[*]")), (std::vector<int>{1, 9, 2, 3, 8, 7}));
}

TEST(AsnQuery, oid_step_tests_the_element_itself) {
  auto signedInfo = Parse(Seq(Oid("1.2.840.113549.1.7.2") + Explicit0(Seq(Int(1)))));
  auto envelopedInfo = Parse(Seq(Oid("1.2.840.113549.1.7.3") + Explicit0(Seq(Int(0)))));
  EXPECT_EQ(AsnQuery(signedInfo.get(), "1.2.840.113549.1.7.2"), std::vector<TAsnElem*>{signedInfo.get()});
  EXPECT_TRUE(AsnQuery(envelopedInfo.get(), "1.2.840.113549.1.7.2").empty());
  EXPECT_TRUE(AsnQuery(signedInfo.get(), "1.2.840.113549.1.7").empty());  // whole text only
  EXPECT_EQ(Values(AsnQuery(signedInfo.get(), "1.2.840.113549.1.7.2/[1]/[0]/[0]")), std::vector<int>{1});
  EXPECT_TRUE(AsnQuery(signedInfo->Items(1), "1.2.840.113549.1.7.2").empty());  // first child no OID
}

TEST(AsnQuery, empty_path_selects_the_root_and_steps_below_leaves_select_nothing) {
  auto tree = Parse(Seq(Int(1) + Seq("")));
  EXPECT_EQ(AsnQuery(tree.get(), ""), std::vector<TAsnElem*>{tree.get()});
  EXPECT_TRUE(AsnQuery(tree.get(), "[0]/[0]").empty());   // a primitive INTEGER
  EXPECT_TRUE(AsnQuery(tree.get(), "[1]/[-1]").empty());  // an empty SEQUENCE
  EXPECT_TRUE(AsnQuery(nullptr, "[0]").empty());
}

TEST(AsnQuery, malformed_paths_raise_even_where_nothing_is_selected) {
  auto tree = Parse(Seq(Int(1)));
  for (const char* path : {"//", "/[0]", "[0]/", "9.9/[0]//[0]"})
    EXPECT_EQ(ErrorOf(tree.get(), path), "Invalid part:\"\"") << path;
  EXPECT_EQ(ErrorOf(nullptr, "[0]//"), "Invalid part:\"\"");
  for (const char* path : {"[x]", "[]", "[", "[1", "[1.5]", "[99999999999]", "[ 1]"})
    EXPECT_NE(ErrorOf(tree.get(), path).find("is not a valid integer value"), std::string::npos) << path;
}
