// tessel --extract: decoded, raw and whole content, to standard output or a
// file, and the exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CliSupport.h"

using namespace clitest;

TEST(ExtractCommand, decoded_raw_and_whole) {
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
  EXPECT_EQ(Command({"--extract", Sample("forwarded-lf.eml"), "1.2.1.1"}).Out,
            "Viele Gr\xFC\xDF"
            "e aus K\xF6ln.");
  EXPECT_EQ(Command({"--extract", Sample("forwarded-lf.eml"), "1.2.1.2"}).Out, "item,count\napples,3\n");
  EXPECT_EQ(Command({"--extract", Sample("forwarded-lf.eml"), "1.2", "--raw"}).Out.substr(0, 37),
            "From: Ada Example <ada@example.org>\r\n");
}

TEST(ExtractCommand, output_file) {
  TTempDir temp("tessel-extract");
  std::string out = temp / "extract.out";
  TRun run = Command({"--extract", Sample("multipart-attachment.eml"), "1.3", "-o", out});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(ReadFileBytes(out), "First line of the notes.\r\nSecond line of the notes.\r\n");
  TRun blocked = Command({"--extract", Sample("plain.eml"), "1", "-o", temp / "no/such/dir/x"});
  EXPECT_EQ(blocked.Status, 5);
  EXPECT_NE(blocked.Err.find("Cannot create file"), std::string::npos);
}

namespace fs = std::filesystem;

// The input is never the output, by name or through a link; an output that
// fails halfway leaves the old file as it was and nothing beside it.
TEST(ExtractCommand, output_never_costs_the_input_or_the_old_file) {
  TTempDir temp("tessel-extract");
  const fs::path& dir = temp.Path();
  std::string message = ReadFileBytes(Sample("multipart-attachment.eml"));
  fs::path input = dir / "message.eml";
  std::ofstream(input, std::ios::binary) << message;
  fs::create_symlink(input, dir / "link.eml");
  for (const fs::path& out : {input, dir / "link.eml", dir / "." / "message.eml"}) {
    TRun run = Command({"--extract", input.string(), "1.2", "-o", out.string()});
    EXPECT_EQ(run.Status, 2) << out;
    EXPECT_NE(run.Err.find("the output would replace the input file"), std::string::npos) << run.Err;
    EXPECT_EQ(ReadFileBytes(input.string()), message);
  }
  // A decoding fault: the old output stays whole, no temporary file is left.
  fs::path old = dir / "old.out";
  std::ofstream(old, std::ios::binary) << "old contents";
  fs::permissions(old, fs::perms(0640));
  EXPECT_EQ(Command({"--extract", Data("bad-base64.eml"), "1", "-o", old.string()}).Status, 1);
  EXPECT_EQ(ReadFileBytes(old.string()), "old contents");
  // A good one replaces it, keeps its mode, and writes through a link.
  fs::create_symlink(old, dir / "old-link");
  EXPECT_EQ(Command({"--extract", Sample("multipart-attachment.eml"), "1.3", "-o", (dir / "old-link").string()}).Status,
            0);
  EXPECT_TRUE(fs::is_symlink(dir / "old-link"));
  EXPECT_EQ(ReadFileBytes(old.string()), "First line of the notes.\r\nSecond line of the notes.\r\n");
  EXPECT_EQ(fs::status(old).permissions() & fs::perms::all, fs::perms(0640));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 4);  // message, link, old, old-link
}

// Output that does not arrive is not success: its own status, a message.
TEST(ExtractCommand, lost_output_has_its_own_status) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"--extract", Sample("multipart-attachment.eml"), "1.2"},
        {"--dump", Sample("multipart-attachment.eml")},
        {"--headers", Sample("multipart-attachment.eml"), "1"},
        {"--check", Sample("multipart-attachment.eml")}}) {
    std::ostream closed(nullptr);  // every write fails, as on a closed descriptor
    std::ostringstream err;
    EXPECT_EQ(tessel::cli::RunCommandLine(args, closed, err), 5) << args[0];
    EXPECT_NE(err.str().find("cannot be written"), std::string::npos) << args[0] << ": " << err.str();
  }
  // The program itself, onto a full device.
  std::string tessel = std::string(TESSEL_BINARY_DIR) + "/tessel";
  if (fs::exists(tessel) && fs::exists("/dev/full")) {
    std::string command = "'" + tessel + "' --dump '" + Sample("multipart-attachment.eml") + "' >/dev/full 2>/dev/null";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
  }
}

TEST(ExtractCommand, exit_statuses) {
  std::string file = Sample("multipart-attachment.eml");
  for (auto args : {std::vector<std::string>{"--extract", file, "1.2", "--raw", "--whole"},
                    {"--extract", file, "1.2", "-o"},
                    {"--extract", file},
                    {"--extract", file, "1.2", "--bogus"},
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
