#include "util/HexText.h"

#include <gtest/gtest.h>

#include "util/ChainMemoryStream.h"
#include "util/MemoryStream.h"

using namespace tessel;

TEST(HexText, all_bytes_with_separator) {
  TStringStream s(std::string("\x0a\xff", 2));
  EXPECT_EQ(StreamToHex(s, ':', 0, "..."), "0A:FF");
  EXPECT_EQ(s.GetPosition(), 2);
}

TEST(HexText, maximum_cuts_the_last_bytes_and_adds_suffix) {
  TStringStream s(std::string("\x0a\xff", 2));
  EXPECT_EQ(StreamToHex(s, ':', 1, " (1 more)"), "0A (1 more)");
  TStringStream t(std::string("\x01\x02\x03", 3));
  EXPECT_EQ(StreamToHex(t, ' ', 2, "+"), "01 02+");
  // A maximum that is not exceeded adds no suffix.
  TStringStream u(std::string("\x01\x02", 2));
  EXPECT_EQ(StreamToHex(u, ' ', 2, "+"), "01 02");
}

TEST(HexText, no_separator_and_start_at_position) {
  TStringStream s(std::string("\x00\x10\xab\xcd", 4));
  s.Seek(1, soBeginning);
  EXPECT_EQ(StreamToHex(s, '\0', 0, "x"), "10ABCD");
  EXPECT_EQ(StreamToHex(s, ':', 0, "x"), "");  // nothing left
}

TEST(HexText, long_stream_spans_reads) {
  TChainMemoryStream s;
  std::string data;
  for (int i = 0; i < 10000; ++i) data += static_cast<char>(i * 7);
  s.Write(data.data(), static_cast<int32_t>(data.size()));
  s.Seek(0, soBeginning);
  std::string hex = StreamToHex(s, '\0', 9000, "!");
  ASSERT_EQ(hex.size(), 18001u);
  for (int i = 0; i < 9000; i += 997) {
    char expect[3];
    snprintf(expect, sizeof expect, "%02X", static_cast<unsigned char>(data[static_cast<size_t>(i)]));
    EXPECT_EQ(hex.substr(static_cast<size_t>(i) * 2, 2), expect);
  }
  EXPECT_EQ(hex.back(), '!');
}
