// tessel --check: the totals line and the problems it lists.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "CliSupport.h"

using namespace clitest;

TEST(CheckCommand, totals_of_the_samples) {
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

TEST(CheckCommand, problems_are_listed_with_their_part) {
  TRun odd = Command({"--check", Data("odd.eml")});
  EXPECT_EQ(odd.Status, 0);
  // The embedded message that does not parse counts as a leaf.
  // Header values: 9 + 27, 36 + 7, 14 bytes; leaves "raw" and the 17 bytes
  // of the embedded text ('r' + 'n' sampled).
  EXPECT_EQ(odd.Out, "parts=3 leaves=2 bytes=20 sample=224 headers=5 header_bytes=93\n");
  // Problems as they are met, then the findings after the totals.
  EXPECT_EQ(odd.Err,
            "tessel: 1.2: Invalid header:not a header line\n"
            "1.2\t225\tEmbedded message does not parse: Invalid header:not a header line\n");
  TRun bad = Command({"--check", Data("bad-base64.eml")});
  EXPECT_EQ(bad.Status, 0);
  EXPECT_EQ(bad.Out, "parts=1 leaves=1 bytes=3 sample=97 headers=1 header_bytes=6\n");
  EXPECT_EQ(bad.Err,
            "tessel: 1: Invalid input\n"
            "1\t43\tBase64: padding in the first or second place of a group; decoding stops here\n");
  TRun words = Command({"--check", Data("bad-words.eml")});
  EXPECT_EQ(words.Err,
            "tessel: 1: Unknown charset x-none\ntessel: 1: Invalid input (base64 encoded word)\n"
            "1\t0\tEncoded word: Unknown charset x-none\n1\t0\tEncoded word: Invalid input (base64 encoded word)\n");
  EXPECT_EQ(Command({"--check"}).Status, 2);
  EXPECT_EQ(Command({"--check", Data("not-a-message.txt")}).Status, 1);
  EXPECT_EQ(Command({"--check", Data("no-such-file.eml")}).Status, 3);
}

TEST(findings_command, lists_findings_alone_and_succeeds_with_them) {
  // The same findings --check adds to its standard error, alone on standard
  // output; exit status 0 with findings and without.
  TRun odd = Command({"--findings", Data("odd.eml")});
  EXPECT_EQ(odd.Status, 0);
  EXPECT_EQ(odd.Out, "1.2\t225\tEmbedded message does not parse: Invalid header:not a header line\n");
  EXPECT_EQ(odd.Err, "");
  TRun words = Command({"--findings", Data("bad-words.eml")});
  EXPECT_EQ(words.Out,
            "1\t0\tEncoded word: Unknown charset x-none\n1\t0\tEncoded word: Invalid input (base64 encoded word)\n");
  TRun clean = Command({"--findings", Sample("plain.eml")});
  EXPECT_EQ(clean.Status, 0);
  EXPECT_EQ(clean.Out, "");
  std::string epilogue = tessel::ReadFileBytes(Sample("multipart-attachment.eml"));
  EXPECT_EQ(Command({"--findings", Sample("multipart-attachment.eml")}).Out,
            "1\t" + std::to_string(epilogue.find("Epilogue text")) +
                "\tContent after the close delimiter belongs to no part\n");
  EXPECT_EQ(Command({"--findings"}).Status, 2);
  EXPECT_EQ(Command({"--findings", Data("not-a-message.txt")}).Status, 1);
  EXPECT_NE(Command({"--help"}).Out.find("--findings FILE"), std::string::npos);
  // The LF-only sample says its line ends were converted, at its first LF.
  std::string lf = tessel::ReadFileBytes(Sample("forwarded-lf.eml"));
  EXPECT_EQ(Command({"--findings", Sample("forwarded-lf.eml")}).Out.substr(0, 3 + std::to_string(lf.find('\n')).size()),
            "1\t" + std::to_string(lf.find('\n')) + "\t");
}

// Hostile inputs under a memory limit of 4 times their size plus 64 MB (and
// 256 MB of room for the program itself: the libraries it links, the window
// toolkit's among them, take about 100 MB of address space before main): each opens, or ends with a clear message and
// its own status, never with an abort. Sanitizer builds reserve address
// space far beyond any such limit, so only plain builds run this.
#if !defined(__SANITIZE_ADDRESS__)
TEST(CheckCommand, hostile_inputs_open_within_four_times_their_size) {
  namespace fs = std::filesystem;
  std::string tessel = std::string(TESSEL_BINARY_DIR) + "/tessel";
  if (!fs::exists(tessel)) GTEST_SKIP() << "no program at " << tessel;
  TTempDir temp("tessel-check-memory");
  const fs::path& dir = temp.Path();
  // Quoted-printable messages nested 100 deep around 4 MB of text: each
  // level would hold a decoded copy.
  std::string line(75, 'x');
  std::string nested = "Subject: inner\r\n\r\n";
  while (nested.size() < (size_t(4) << 20)) nested += line + "\r\n";
  for (int i = 0; i < 100; ++i)
    nested = "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + nested;
  std::ofstream(dir / "nested.eml", std::ios::binary | std::ios::trunc) << nested;
  // 8 MB of empty parts.
  std::string flood = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
  while (flood.size() < (size_t(8) << 20)) flood += "--b\r\n\r\n";
  std::ofstream(dir / "flood.eml", std::ios::binary | std::ios::trunc) << flood;
  const struct {
    std::string file;
    int status;
    const char* message;
  } cases[] = {
      {(dir / "nested.eml").string(), 0, "memory limit"},
      {(dir / "flood.eml").string(), 1, "Too many parts"},
      {"/dev/zero", 6, "not enough memory"},
  };
  for (const auto& c : cases) {
    uint64_t size = c.file == "/dev/zero" ? 0 : fs::file_size(c.file);
    uint64_t limitKb = (4 * size + (uint64_t(64) << 20) + (uint64_t(256) << 20)) / 1024;
    std::string command = "ulimit -v " + std::to_string(limitKb) + "; exec '" + tessel + "' --check '" + c.file +
                          "' >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.file << " ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.file;
    std::string err = ReadFileBytes((dir / "err").string());
    EXPECT_NE(err.find(c.message), std::string::npos) << c.file << ": " << err;
  }
}
#endif
