#include "util/WinError.h"

#include <cerrno>

#include <gtest/gtest.h>

using namespace tessel;

TEST(WinError, texts_of_system_and_registered_codes_end_with_line_break) {
  std::string text = GetWinErrorText(ENOENT);
  EXPECT_NE(text.find("No such file or directory"), std::string::npos);
  EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n");
  RegisterErrorText(0x80091007u, "The hash value is not correct.");
  EXPECT_EQ(GetWinErrorText(0x80091007u), "The hash value is not correct.\r\n");
  EXPECT_EQ(GetWinErrorText(0x8FFF0001u), "");
}

TEST(WinError, raised_errors_carry_last_code_and_cause) {
  SetLastError(ENOENT);
  try {
    RaiseWinError("Could not open");
    FAIL();
  } catch (const EWinException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(ENOENT));
    EXPECT_STREQ(e.what(), "Could not open");
  }
  SetLastError(EACCES);
  try {
    RaiseLastError("Could not open the MY system store.");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Could not open the MY system store. Permission denied.");
  }
}
