#include "ui/PartPages.h"

#include <gtest/gtest.h>

#include <string>

namespace tessel {
namespace {

TEST(PartPages, decoded_page_by_transfer_encoding) {
  struct Case {
    const char* Encoding;
    bool Page;
  } cases[] = {{"", false},
               {"7bit", false},
               {"8BIT", false},
               {"7Bit", false},
               {"binary", true},
               {"base64", true},
               {"Quoted-Printable", true},
               {"x-uuencode", true},
               {"7bit ", true},
               {"8bits", true}};
  for (const auto& c : cases) EXPECT_EQ(HasDecodedPage(c.Encoding), c.Page) << '"' << c.Encoding << '"';
}

TEST(PartPages, decoded_bytes_text_scan) {
  EXPECT_TRUE(IsDecodedText("plain\r\n\ttext \xff\x80"));
  EXPECT_TRUE(IsDecodedText(""));
  for (int b = 0; b < 32; ++b) {
    const std::string s = std::string("ab") + static_cast<char>(b) + "cd";
    const bool text = b == 9 || b == 10 || b == 13;
    EXPECT_EQ(IsDecodedText(s), text) << b;
  }
}

TEST(PartPages, size_guard_at_exactly_one_hundred_thousand) {
  EXPECT_FALSE(IsOverSizeLimit(10, 10 + 99999));
  EXPECT_TRUE(IsOverSizeLimit(10, 10 + 100000));
  EXPECT_FALSE(IsOverSizeLimit(0, 102399 - 2400));
}

TEST(PartPages, pages_and_front_page) {
  const std::string image(50000, '\0');
  const std::string text =
      "Gr\xc3\xbc\xc3\x9f"
      "e\r\n";
  struct Case {
    const char* Name;
    const char* Encoding;
    int64_t Size;
    std::optional<std::string_view> Decoded;
    bool Failed, Smime;
    bool Guarded, DecodedPage;
    TContentPage Front;
  } cases[] = {
      {"base64 image", "base64", 68000, std::string_view(image), false, false, false, false, TContentPage::Raw},
      {"qp text", "quoted-printable", 500, std::string_view(text), false, false, false, true, TContentPage::Decoded},
      {"7bit", "7bit", 500, std::nullopt, false, false, false, false, TContentPage::Raw},
      {"binary text", "binary", 500, std::string_view(text), false, false, false, true, TContentPage::Decoded},
      {"guarded base64", "base64", 200000, std::nullopt, false, false, true, true, TContentPage::Decoded},
      {"guarded 8bit", "8bit", 200000, std::nullopt, false, false, true, false, TContentPage::Raw},
      {"signature", "base64", 3000, std::string_view(image), false, true, false, false, TContentPage::SmimeInfo},
      {"decode failed", "base64", 300, std::nullopt, true, false, false, true, TContentPage::Decoded},
  };
  for (const auto& c : cases) {
    const TContentPages p = ChooseContentPages(c.Encoding, 1000, 1000 + c.Size, c.Decoded, c.Failed, c.Smime);
    EXPECT_EQ(p.Guarded, c.Guarded) << c.Name;
    EXPECT_EQ(p.Decoded, c.DecodedPage) << c.Name;
    EXPECT_EQ(p.SmimeInfo, c.Smime) << c.Name;
    EXPECT_EQ(p.Front, c.Front) << c.Name;
  }
}

TEST(PartPages, system_text_utf8_or_latin1) {
  struct Case {
    std::string In, Out;
  } cases[] = {
      {"abc", "abc"},
      {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
      {"\xe9t\xe9", "\xc3\xa9t\xc3\xa9"},                            // ISO 8859-1
      {std::string("a\0b\xe9", 4), std::string("a\0b\xc3\xa9", 5)},  // NUL kept
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                              // overlong: not UTF-8
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},                  // surrogate: not UTF-8
      {"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},      // past U+10FFFF
      {"\xe2\x82", "\xc3\xa2\xc2\x82"},                              // cut sequence
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SystemText(c.In), c.Out);
    EXPECT_TRUE(IsValidUtf8(SystemText(c.In)));
  }
  EXPECT_EQ(SystemText(std::string("x\0y", 3)).size(), 3u);
}

}  // namespace
}  // namespace tessel
