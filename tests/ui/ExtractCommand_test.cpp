// tessel --extract: decoded, raw and whole content, to standard output or a
// file, and the exit statuses.
#include <gtest/gtest.h>

#include <cstdio>

#include "CliSupport.h"

using namespace clitest;

TEST(extract_command, decoded_raw_and_whole) {
  std::string file = Sample("multipart-attachment.eml");
  TRun decoded = Command({"--extract", file, "1.2"});
  EXPECT_EQ(decoded.Status, 0);
  ASSERT_EQ(decoded.Out.size(), 70u);
  EXPECT_EQ(decoded.Out.substr(0, 8), "\x89PNG\r\n\x1A\n");
  TRun raw = Command({"--extract", file, "1.2", "--raw"});
  EXPECT_EQ(raw.Out.substr(0, 12), "iVBORw0KGgoA");
  EXPECT_EQ(raw.Out.size(), 100u);
  TRun whole = Command({"--extract", "--whole", file, "1.1.1"});
  EXPECT_EQ(whole.Out,
            "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
            "The report is attached.");
  // The line-end rule: parts of an LF-only file come out with CR LF.
  EXPECT_EQ(Command({"--extract", Sample("forwarded-lf.eml"), "1.2.1.1"}).Out, "Viele Gr\xFC\xDF" "e aus K\xF6ln.");
  EXPECT_EQ(Command({"--extract", Sample("forwarded-lf.eml"), "1.2.1.2"}).Out, "item,count\napples,3\n");
  EXPECT_EQ(Command({"--extract", Sample("forwarded-lf.eml"), "1.2", "--raw"}).Out.substr(0, 37),
            "From: Ada Example <ada@example.org>\r\n");
}

TEST(extract_command, output_file) {
  std::string out = std::string(TESSEL_BINARY_DIR) + "/extract_command_test.out";
  TRun run = Command({"--extract", Sample("multipart-attachment.eml"), "1.3", "-o", out});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(ReadAll(out), "First line of the notes.\r\nSecond line of the notes.\r\n");
  std::remove(out.c_str());
  TRun blocked = Command({"--extract", Sample("plain.eml"), "1", "-o", std::string(TESSEL_BINARY_DIR) + "/no/such/dir/x"});
  EXPECT_EQ(blocked.Status, 3);
  EXPECT_NE(blocked.Err.find("Cannot create file"), std::string::npos);
}

TEST(extract_command, exit_statuses) {
  std::string file = Sample("multipart-attachment.eml");
  for (auto args : {std::vector<std::string>{"--extract", file, "1.2", "--raw", "--whole"},
                    {"--extract", file, "1.2", "-o"}, {"--extract", file}, {"--extract", file, "1.2", "--bogus"},
                    {"--extract", file, "-1"}}) {
    TRun usage = Command(args);
    EXPECT_EQ(usage.Status, 2) << args.back();
    EXPECT_EQ(usage.Err, "tessel: usage: tessel --extract FILE PART [--raw | --whole] [-o OUT]\n");
  }
  EXPECT_EQ(Command({"--extract", file, "x"}).Err, "tessel: not a part path: x\n");
  EXPECT_EQ(Command({"--extract", file, "1.9"}).Status, 4);
  EXPECT_EQ(Command({"--extract", Data("no-such-file.eml"), "1"}).Status, 3);
  // A base64 fault: the bytes before it are written, the status says so.
  TRun bad = Command({"--extract", Data("bad-base64.eml"), "1"});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_EQ(bad.Out, "abc");
  EXPECT_EQ(bad.Err, "tessel: 1: Invalid input\n");
}
