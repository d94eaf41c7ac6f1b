#include "util/HexText.h"

#include <gtest/gtest.h>

#include "util/MemoryStream.h"

using namespace tessel;

TEST(HexText, separator_maximum_suffix_and_position) {
  struct {
    std::string bytes;
    int32_t start, maximum;
    char separator;
    std::string expect;
  } cases[] = {{"\x0a\xff", 0, 0, ':', "0A:FF"}, {"\x0a\xff", 0, 1, ':', "0A+"}, {"\x01\x02\x03", 0, 2, ' ', "01 02+"},
               {"\x01\x02", 0, 2, ' ', "01 02"}, {std::string("\0\x10\xab", 3), 1, 0, '\0', "10AB"},
               {"\x01", 1, 0, ':', ""}};
  for (const auto& c : cases) {
    TStringStream s(c.bytes);
    s.Seek(c.start, soBeginning);
    EXPECT_EQ(StreamToHex(s, c.separator, c.maximum, "+"), c.expect) << c.expect;
  }
  std::string big;
  for (int i = 0; i < 10000; ++i) big += static_cast<char>(i * 7);
  TStringStream s(big);
  std::string hex = StreamToHex(s, '\0', 9000, "!");  // more than one read
  EXPECT_EQ(hex.size(), 18001u);
  EXPECT_EQ(hex.substr(17996), "0A11!");  // bytes 8998 and 8999
}
