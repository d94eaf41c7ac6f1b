// tessel --dump: the structure listing of every sample, byte for byte, and
// the exit statuses.
#include <gtest/gtest.h>

#include "CliSupport.h"

using namespace clitest;

TEST(DumpCommand, golden_listings_of_the_samples) {
  for (const char* name : {"plain", "encoded-subject", "quoted-printable", "multipart-attachment", "forwarded-lf"}) {
    TRun run = Command({"--dump", Sample(std::string(name) + ".eml")});
    EXPECT_EQ(run.Status, 0) << name;
    EXPECT_EQ(run.Out, ReadFileBytes(Data(std::string(name) + ".dump"))) << name;
    EXPECT_EQ(run.Err, "") << name;
  }
}

TEST(DumpCommand, escapes_and_embedded_message_that_does_not_parse) {
  TRun run = Command({"--dump", Data("odd.eml")});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out,
            "1\tmultipart/mixed\tsize=186 at=0,65,251\n"
            "1.1\t-\tenc=x\\x20token disp=attachment filename=\"tab\\x09and\\\\slash\" size=3 at=70,183,186\n"
            "1.2\tmessage/rfc822\tclass=rfc822 size=17 at=193,225,242\n");
  EXPECT_EQ(run.Err, "tessel: 1.2: Invalid header:not a header line\n");
}

TEST(DumpCommand, exit_statuses) {
  for (auto args : {std::vector<std::string>{"--dump"}, {"--dump", "a.eml", "b.eml"}, {"--dump", "-x"}}) {
    TRun usage = Command(args);
    EXPECT_EQ(usage.Status, 2);
    EXPECT_EQ(usage.Err, "tessel: usage: tessel --dump FILE\n");
  }
  TRun missing = Command({"--dump", Data("no-such-file.eml")});
  EXPECT_EQ(missing.Status, 3);
  EXPECT_NE(missing.Err.find("no-such-file.eml"), std::string::npos);
  TRun bad = Command({"--dump", Data("not-a-message.txt")});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_NE(bad.Err.find("Invalid header:just text"), std::string::npos);
  EXPECT_EQ(bad.Out, "");
}
