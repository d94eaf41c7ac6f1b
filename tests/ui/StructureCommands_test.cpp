// tessel --dump and --headers: the structure listing of every sample, byte
// for byte, the decoded header lines of one part, part paths and the exit
// statuses.
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

TEST(HeadersCommand, decoded_lines_of_nested_parts) {
  TRun root = Command({"--headers", Sample("forwarded-lf.eml"), "1"});
  EXPECT_EQ(root.Status, 0);
  EXPECT_EQ(root.Out,
            "From: Carla Example <carla@example.org>\nTo: Ada Example <ada@example.org>\n"
            "Subject: Fwd: Gr\xC3\xBC\xC3\x9F"
            "e from the archive\nDate: Mon, 07 Dec 2026 10:30:00 +0100\n"
            "Message-ID: <forward-1@example.org>\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=\"fwd\"\n");
  TRun inner = Command({"--headers", Sample("forwarded-lf.eml"), "1.2.1.2"});
  EXPECT_EQ(inner.Status, 0);
  EXPECT_EQ(inner.Out,
            "Content-Type: text/csv; name=\"M\xC3\xBCller \"2026\".csv\"\n"
            "Content-Disposition: attachment; filename=\"M\xC3\xBCller \"2026\".csv\"\n"
            "Content-Transfer-Encoding: base64\n");
  EXPECT_EQ(Command({"--headers", Sample("forwarded-lf.eml"), "1.2.1"}).Out,
            "From: Ada Example <ada@example.org>\nSubject: Gr\xC3\xBC\xC3\x9F"
            "e\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=\"inner\"\n");
}

TEST(HeadersCommand, part_paths_and_exit_statuses) {
  std::string file = Sample("multipart-attachment.eml");
  for (const char* path : {"2", "1.4", "1.1.1.1", "1.2.1"}) {
    TRun run = Command({"--headers", file, path});
    EXPECT_EQ(run.Status, 4) << path;
    EXPECT_EQ(run.Err, std::string("tessel: no such part: ") + path + "\n");
  }
  for (const char* path : {"0", "1..2", "1.", "a", "", "1.-1", "99999999999"}) {
    TRun run = Command({"--headers", file, path});
    EXPECT_EQ(run.Status, 2) << path;
    EXPECT_EQ(run.Err, std::string("tessel: not a part path: ") + path + "\n");
  }
  for (auto args : {std::vector<std::string>{"--headers", file}, {"--headers", "-f", "1"}}) {
    TRun usage = Command(args);
    EXPECT_EQ(usage.Status, 2);
    EXPECT_EQ(usage.Err, "tessel: usage: tessel --headers FILE PART\n");
  }
  EXPECT_EQ(Command({"--headers", Data("no-such-file.eml"), "1"}).Status, 3);
  TRun broken = Command({"--headers", Data("odd.eml"), "1.2.1"});
  EXPECT_EQ(broken.Status, 1);
  EXPECT_EQ(broken.Err, "tessel: 1.2.1: Invalid header:not a header line\n");
}

// Text from the message never makes a line of its own or reaches the
// terminal as a control sequence.
TEST(HeadersCommand, message_text_is_escaped_onto_one_line) {
  std::string file = std::string(TESSEL_BINARY_DIR) + "/headers-escape.eml";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      << "Subject: =?utf-8?q?hi=0D=0AFrom:_boss@example.org?=\r\n"
         "X-Term: =?utf-8?q?a=1B[2J=C2=9B1m?= back\\slash\r\n\r\nbody\r\n";
  TRun run = Command({"--headers", file, "1"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out,
            "Subject: hi\\x0D\\x0AFrom: boss@example.org\n"
            "X-Term: a\\x1B[2J\\xC2\\x9B1m back\\\\slash\n");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "Subject: a\r\nbad\x1B]0;title\x07\r\n\r\n";
  TRun bad = Command({"--headers", file, "1"});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_EQ(bad.Err, "tessel: " + file + ": Invalid header:bad\\x1B]0;title\\x07 (at offset 12)\n");
  std::remove(file.c_str());
}
