// tessel --check: the totals line and the problems it lists.
#include <gtest/gtest.h>

#include "CliSupport.h"

using namespace clitest;

TEST(check_command, totals_of_the_samples) {
  // Worked out independently of the engine (parts, decoded bytes, the bytes
  // at offsets 0, 64, ... of each leaf, header values as UTF-8).
  EXPECT_EQ(Command({"--check", Sample("multipart-attachment.eml")}).Out,
            "parts=6 leaves=4 bytes=209 sample=429 headers=17 header_bytes=400\n");
  EXPECT_EQ(Command({"--check", Sample("plain.eml")}).Out,
            "parts=1 leaves=1 bytes=71 sample=85 headers=8 header_bytes=165\n");
  // The embedded message is walked; its multipart is not a leaf.
  EXPECT_EQ(Command({"--check", Sample("forwarded-lf.eml")}).Out,
            "parts=6 leaves=3 bytes=73 sample=274 headers=19 header_bytes=424\n");
}

TEST(check_command, problems_are_listed_with_their_part) {
  TRun odd = Command({"--check", Data("odd.eml")});
  EXPECT_EQ(odd.Status, 0);
  // The embedded message that does not parse counts as a leaf.
  // Header values: 9 + 27, 36 + 7, 14 bytes; leaves "raw" and the 17 bytes
  // of the embedded text ('r' + 'n' sampled).
  EXPECT_EQ(odd.Out, "parts=3 leaves=2 bytes=20 sample=224 headers=5 header_bytes=93\n");
  EXPECT_EQ(odd.Err, "tessel: 1.2: Invalid header:not a header line\n");
  TRun bad = Command({"--check", Data("bad-base64.eml")});
  EXPECT_EQ(bad.Status, 0);
  EXPECT_EQ(bad.Out, "parts=1 leaves=1 bytes=3 sample=97 headers=1 header_bytes=6\n");
  EXPECT_EQ(bad.Err, "tessel: 1: Invalid input\n");
  TRun words = Command({"--check", Data("bad-words.eml")});
  EXPECT_EQ(words.Err, "tessel: 1: Unknown charset x-none\ntessel: 1: Invalid input (base64 encoded word)\n");
  EXPECT_EQ(Command({"--check"}).Status, 2);
  EXPECT_EQ(Command({"--check", Data("not-a-message.txt")}).Status, 1);
  EXPECT_EQ(Command({"--check", Data("no-such-file.eml")}).Status, 3);
}
