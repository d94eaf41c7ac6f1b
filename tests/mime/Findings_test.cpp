// Findings: one hand-made message per kind of repair, each checked for the
// part path, the offset (found from a marker in the message) and the text;
// the body checks as a table; a well-formed message has none.
#include <gtest/gtest.h>

#include "MimeTestSupport.h"
#include "mime/Findings.h"
#include "mime/MessageFile.h"
#include "util/encodings/Base64.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"

using namespace tessel;
using mimetest::Crlf;
using V = std::vector<std::string>;

namespace {

std::vector<std::string> Findings(const std::string& bytes, const TParseOptions& options = MimeParseOptions()) {
  std::unique_ptr<TMessage> message = OpenMessageBytes(bytes, options);
  std::vector<std::string> lines;
  for (const TMessageFinding& f : CollectFindings(*message, true)) lines.push_back(FindingLine(f));
  return lines;
}

std::string Line(const std::string& path, size_t offset, const std::string& text) {
  return path + "\t" + std::to_string(offset) + "\t" + text;
}

// Offset of marker in text (which must hold it).
size_t At(const std::string& text, const std::string& marker) {
  size_t at = text.find(marker);
  EXPECT_NE(at, std::string::npos) << marker;
  return at;
}

const std::string kMixed = "Content-Type: multipart/mixed; boundary=a|";

}  // namespace

TEST(Findings, well_formed_message_has_none) {
  EXPECT_TRUE(Findings(Crlf(kMixed + "Subject: =?utf-8?Q?caf=C3=A9?=||pre|--a|Content-Type: text/plain||hi|--a|"
                                     "Content-Transfer-Encoding: base64||aGVsbG8=|--a--|"))
                  .empty());
}

TEST(Findings, multipart_delimiters) {
  std::string m = Crlf("Content-Type: multipart/mixed; boundary=zz||no delimiter here|");
  EXPECT_EQ(Findings(m), (V{Line("1", At(m, "no delimiter"), finding::kNoDelimiterRoot)}));

  m = Crlf(kMixed + "|--a|Content-Type: multipart/alternative; boundary=b||only text|--a--|");
  EXPECT_EQ(Findings(m), (V{Line("1.1", At(m, "only text"), finding::kNoDelimiter)}));

  m = Crlf(kMixed + "|--a|Content-Type: text/plain||never closed|");
  EXPECT_EQ(Findings(m), (V{Line("1", m.size(), finding::kNotClosed)}));

  m = Crlf(kMixed + "|--a|Content-Type: multipart/alternative; boundary=b||--b||inner|--a--|");
  EXPECT_EQ(Findings(m), (V{Line("1.1", At(m, "\r\n--a--"), finding::kClosedByEnclosing)}));

  // Text after the close delimiter: of the whole message, and of a nested
  // multipart before its parent's next delimiter.
  m = Crlf(kMixed + "|--a|Content-Type: multipart/alternative; boundary=b||--b||x|--b--|stray|--a--|tail|");
  EXPECT_EQ(Findings(m),
            (V{Line("1", At(m, "tail"), finding::kEpilogue), Line("1.1", At(m, "stray"), finding::kEpilogue)}));
  // Line ends alone after the close delimiter are no finding.
  EXPECT_TRUE(Findings(Crlf(kMixed + "|--a||x|--a--|||")).empty());
}

TEST(Findings, nesting_cap) {
  TParseOptions options = MimeParseOptions();
  options.MaxNestingDepth = 1;
  std::string m = Crlf(kMixed + "|--a|Content-Type: multipart/mixed; boundary=b||--b||x|--b--|--a--|");
  EXPECT_EQ(Findings(m, options),
            (V{Line("1.1", At(m, "Content-Type: multipart/mixed; boundary=b"), finding::kNestingCap)}));
  m = Crlf(kMixed + "|--a|Content-Type: message/rfc822||Subject: inner||body|--a--|");
  EXPECT_EQ(Findings(m, options), (V{Line("1.1", At(m, "Content-Type: message/rfc822"), finding::kNestingCapMessage)}));
}

TEST(Findings, header_lines) {
  std::string m = Crlf(
      "Content-Type: text/plain|Subject: x|Content-Type: text/html|Content-Transfer-Encoding: 7bit|"
      "Content-Transfer-Encoding: base64||aGk=|");
  EXPECT_EQ(Findings(m), (V{Line("1", At(m, "Content-Type: text/html"), finding::kRepeatedContentType),
                            Line("1", At(m, "Content-Transfer-Encoding: base64"), finding::kRepeatedEncoding)}));

  m = Crlf("Subject: caf\xC3\xA9|To: a\xE9@example.com|X-Nul: a") + std::string("\0b", 2) + Crlf("||body|");
  EXPECT_EQ(Findings(m),
            (V{Line("1", At(m, "Subject"), finding::kEightBitHeader), Line("1", At(m, "To:"), finding::kEightBitHeader),
               Line("1", At(m, std::string("\0b", 2)), finding::kNulInHeader)}));

  // A broken encoded word: at its line, with what decoding noted.
  m = Crlf("From: a@example.com|Subject: =?utf-8?B?a=bc?=||body|");
  std::vector<std::string> found = Findings(m);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].substr(0, found[0].find("Encoded word: ") + 14),
            "1\t" + std::to_string(At(m, "Subject")) + "\tEncoded word: ");
}

TEST(Findings, line_ends_converted) {
  std::string m = "Subject: x\n\nbody\nmore\n";
  EXPECT_EQ(Findings(m), (V{Line("1", At(m, "\n"), LineEndFinding(4, false))}));
  EXPECT_EQ(LineEndFinding(4, false), "LF-only line ends: 4 read as CR LF (offsets count the added CRs)");
  m = "Subject: x\n\nbody\r\nmore\n";
  EXPECT_EQ(Findings(m), (V{Line("1", At(m, "\n"), LineEndFinding(3, true))}));
  // Offsets after the conversion are in the text as read (CR LF).
  m = "Subject: x\nContent-Type: text/plain\nContent-Type: text/html\n\nbody\n";
  std::vector<std::string> found = Findings(m);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1], Line("1", At(m, "Content-Type: text/html") + 2, finding::kRepeatedContentType));
}

TEST(Findings, embedded_messages) {
  std::string m = Crlf(kMixed + "|--a|Content-Type: message/rfc822||Subject: ok|no colon here||body|--a--|");
  std::vector<std::string> found = Findings(m);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], Line("1.1", At(m, "no colon"), EmbeddedMessageFinding("Invalid header:no colon here")));

  // Findings inside an embedded message are at their place in the file...
  m = Crlf(kMixed + "|--a|Content-Type: message/rfc822||Subject: x\xE9||body|--a--|");
  EXPECT_EQ(Findings(m), (V{Line("1.1.1", At(m, "Subject: x"), finding::kEightBitHeader)}));
  // ...unless it is stored encoded: then at its encoded body, saying where
  // in the decoded bytes.
  m = Crlf(kMixed + "|--a|Content-Type: message/rfc822|Content-Transfer-Encoding: base64||") +
      "U3ViamVjdDogeOkNCg0KYm9keQ0K" + Crlf("|--a--|");  // "Subject: x\xE9\r\n\r\nbody\r\n"
  EXPECT_EQ(
      Findings(m),
      (V{Line("1.1.1", At(m, "U3Vi"), std::string(finding::kEightBitHeader) + " (at byte 0 of the decoded content)")}));
}

TEST(Findings, body_faults_table) {
  const struct {
    const char* Encoding;
    std::string Body;
    std::vector<std::pair<int64_t, std::string>> Expected;
  } rows[] = {{"base64", "aGVsbG8=\r\n", {}},
              {"base64", "aGVs\r\nbG8=\r\n", {}},
              {"base64", "aGVs*bG8=\r\n", {{4, Base64BadByteFinding('*')}}},
              {"base64", "aG\x01Vs*bG8=\r\n", {{2, "Base64: byte 0x01 is not base64 (skipped)"}}},
              {"base64", "aGVsb===\r\n", {{5, finding::kBase64Pad}}},
              {"base64", "=aGVs", {{0, finding::kBase64Pad}}},
              {"base64", "aGk=\r\nmore\r\n", {{6, finding::kBase64AfterPad}}},
              {"base64", "aGk==\r\n\r\n", {}},
              {"base64", "aGVsbG8\r\n", {{7, finding::kBase64Partial}}},
              // Equal lines that decode in full, and ones whose shape or size
              // gives a fault away: a space inside a line, a short middle line, a
              // bad byte in a middle line of the right length.
              {"base64", "AAAA\r\nBBBB\r\nCC==\r\n", {}},
              {"base64", "AAAA\r\nBBBB\r\nCCC\r\n", {{15, finding::kBase64Partial}}},
              {"base64", "AAAA\r\nB BB\r\nCC==\r\n", {{14, finding::kBase64Pad}}},
              {"base64", "AAAA\r\nBBB\r\nCC==\r\n", {{13, finding::kBase64Pad}}},
              {"base64", "AAAA\r\nB.BB\r\nCC==\r\n", {{7, Base64BadByteFinding('.')}, {14, finding::kBase64Pad}}},
              {"base64", "AAAA\r\nB=BB\r\nCC==\r\n", {{7, finding::kBase64Pad}}},
              {"base64", "AAAA\r\nBBBB\r\n\r\n", {}},
              // Eight-byte steps: a fault in the second step, and one in the tail.
              {"base64", "AAAAAAAABBBB!BBBB", {{12, Base64BadByteFinding('!')}}},
              {"base64", "AAAAAAAABB!BB", {{10, Base64BadByteFinding('!')}}},
              {"quoted-printable", "caf=C3=A9 =\r\nsoft =  \r\nend", {}},
              {"quoted-printable", "a=ZZb=4", {{1, finding::kQpBadEscape}}},
              {"quoted-printable", "a=3", {{1, finding::kQpBadEscape}}},
              {"quoted-printable", std::string("a\0b", 3), {{1, finding::kQpNul}}},
              {"7bit", std::string("ab\0", 3), {{2, finding::kNulInBody}}},
              {"", std::string("\0", 1), {{0, finding::kNulInBody}}},
              {"binary", std::string("\0", 1), {}}};
  for (const auto& row : rows) {
    std::vector<TFinding> found;
    FindBodyFaults(row.Body, row.Encoding, found);
    std::vector<std::pair<int64_t, std::string>> got;
    for (const TFinding& f : found) got.emplace_back(f.Offset, f.Text);
    EXPECT_EQ(got, row.Expected) << row.Encoding << " " << row.Body;
    // Given the size the body really decodes to, the shortcut for clean
    // base64 finds the same.
    TStringStream decoded;
    int64_t size = -1;
    try {
      Base64DecodeString(row.Body, decoded);
      size = static_cast<int64_t>(decoded.DataString().size());
    } catch (const Exception&) {
    }
    std::vector<TFinding> quick;
    FindBodyFaults(row.Body, row.Encoding, size, quick);
    ASSERT_EQ(quick.size(), found.size()) << row.Body;
    for (size_t i = 0; i < quick.size(); ++i) EXPECT_EQ(quick[i].Offset, found[i].Offset) << row.Body;
  }
  // In a message: at the byte's place in the file.
  std::string m = Crlf(kMixed + "|--a|Content-Transfer-Encoding: base64||aGVs*bG8=|--a--|");
  EXPECT_EQ(Findings(m), (V{Line("1.1", At(m, "*"), Base64BadByteFinding('*'))}));
}

TEST(Findings, a_flood_of_one_fault_is_capped_per_part) {
  std::string m;
  for (size_t i = 0; i < kMaxFindingsPerPart + 50; ++i) m += "X-Field: \xE9\r\n";
  m += "\r\nbody\r\n";
  std::vector<std::string> found = Findings(m);
  ASSERT_EQ(found.size(), kMaxFindingsPerPart + 1);
  EXPECT_EQ(found.back().substr(found.back().rfind('\t') + 1), kMoreFindings);
}

TEST(Findings, text_from_the_message_cannot_forge_a_line) {
  TMessageFinding f{"1", nullptr, 5, "Embedded message does not parse: Invalid header:x\r\n1\t0\tforged"};
  std::string line = FindingLine(f);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\r'), std::string::npos);
}
