// Parts and messages: content operations, analysis, ownership, the
// message's indexes, and loading message files with the line-end rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "MimeTestSupport.h"
#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "util/system/WinError.h"

using namespace tessel;
using namespace mimetest;
using namespace std::string_literals;

// --- parts ----------------------------------------------------------------------

TEST(PartContent, raw_decoded_whole_and_header_text) {
  auto m = Parse(Crlf("Subject: caf\xE9|Content-Transfer-Encoding: BASE64||YWJj|ZGVm|"));
  TBodyPart& p = *m->RootPart;
  EXPECT_EQ(Raw(p), Crlf("YWJj|ZGVm|"));
  EXPECT_EQ(p.GetDecodedContent()->ToString(), "abcdef");
  EXPECT_EQ(p.GetWholePart()->ToString(), m->Text->GetString(0, m->Text->Length()));
  EXPECT_EQ(p.GetHeaderText(), u"Subject: caf\u00e9\r\nContent-Transfer-Encoding: BASE64\r\n\r\n");
  // An inverted range (an empty body right before a delimiter) yields nothing.
  p.BodyEnd = p.BodyStart - 2;
  EXPECT_EQ(p.GetRawContent()->GetSize(), 0);
  EXPECT_EQ(p.GetDecodedContent()->GetSize(), 0);
  EXPECT_EQ(p.GetRawText(), "");
}

TEST(PartAnalysis, fields_names_and_attachments) {
  auto m =
      Parse(Crlf("Content-Type: multipart/mixed; boundary=b||--b|Content-Type: TEXT/plain; name=a.txt|"
                 "Content-Disposition: ATTACHMENT; filename=\"b.txt\"; name=c.txt||x|"
                 "--b|Content-Disposition: inline||y|--b|Content-Type: image/png|"
                 "Content-Disposition: attachment||z|--b--"));
  TBodyPart& root = *m->RootPart;
  TBodyPart& first = *root.Children(0);
  EXPECT_TRUE(first.IsAttachment && first.IsText);
  EXPECT_EQ(first.Name, u"c.txt");  // parameters of all content headers share one list
  EXPECT_EQ(first.FileName, u"b.txt");
  EXPECT_EQ(first.GetField("Content-Disposition"), u"ATTACHMENT");
  EXPECT_EQ(first.ContentType, u"TEXT/plain");
  EXPECT_FALSE(root.Children(1)->IsAttachment);
  ASSERT_EQ(root.Attachments.size(), 2u);
  EXPECT_EQ(root.Attachments[1], root.Children(2));
  EXPECT_EQ(root.Children(5), nullptr);
  EXPECT_EQ(root.Children(-1), nullptr);
}

TEST(PartTree, freeing_extracting_copying_and_moving) {
  auto m =
      Parse(Crlf("Content-Type: multipart/mixed; boundary=b||--b|Content-Disposition: attachment||x|"
                 "--b|Content-Type: message/rfc822||S: 1||x|--b|Content-Disposition: attachment||y|--b--"));
  TBodyPart& root = *m->RootPart;
  delete root.Children(0);  // a freed child leaves its parent
  EXPECT_EQ(Shape(root), "({'x'},'y')");
  EXPECT_EQ(root.Attachments.size(), 1u);
  auto copy = TBodyPart::CreateFrom(root, root, true);
  EXPECT_EQ(Shape(*copy), "({'x'},'y')");
  EXPECT_NE(dynamic_cast<TRFC822BodyPart*>(copy->Children(0)), nullptr);
  EXPECT_EQ(copy->Attachments.size(), 1u);
  EXPECT_EQ(copy->HeaderValue(0), root.HeaderValue(0));
  auto moved = TBodyPart::CreateFrom<TBodyPart>(root, false);
  EXPECT_EQ(Shape(*moved), "({'x'},'y')");
  EXPECT_EQ(root.ChildCount(), 0);
  std::unique_ptr<TBodyPart> taken = moved->ExtractChild(moved->Children(1));
  EXPECT_EQ(taken->Parent(), nullptr);
  EXPECT_TRUE(moved->Attachments.empty());
  EXPECT_EQ(Shape(*moved), "({'x'})");
}

// --- messages ---------------------------------------------------------------------

TEST(MessageIndexes, text_html_related_attachments_and_ids) {
  auto m =
      Parse(Crlf("Content-Type: multipart/mixed; boundary=o||"
                 "--o|Content-Type: multipart/related; boundary=r||"
                 "--r|Content-Type: text/html||<p>|--r|Content-Type: image/png|Content-ID: pic@x||P|"
                 "--r|Content-Type: text/plain|Content-ID: <pic@x>||cid text|--r--|"
                 "--o|Content-Type: Text/Plain||first|"
                 "--o|Content-Type: text/plain||second|"
                 "--o|Content-Type: multipart/related; boundary=r2|Content-Disposition: attachment||"
                 "--r2|Content-Disposition: attachment||a|--r2--|"
                 "--o|Content-Type: message/rfc822||Content-Type: text/plain||embedded|--o--"));
  TBodyPart& root = *m->RootPart;
  EXPECT_EQ(m->TextPart, root.Children(2));
  EXPECT_EQ(m->HtmlPart, root.Children(0)->Children(0));
  EXPECT_EQ(m->RelatedPart, root.Children(0));
  ASSERT_EQ(m->Attachments.size(), 1u);  // the attached multipart is not listed
  EXPECT_EQ(m->Attachments[0], root.Children(3)->Children(0));
  ASSERT_EQ(m->ContentIds.size(), 2u);
  EXPECT_EQ(m->ContentIds[0].Id, "<pic@x>");
  EXPECT_EQ(m->FindContentId("pic@x"), root.Children(0)->Children(1));
  EXPECT_EQ(m->FindContentId("<none>"), nullptr);
  EXPECT_EQ(m->Roots(0), m->RootPart);
  EXPECT_EQ(m->Roots(1), nullptr);
}

TEST(MessageLifecycle, reparse_and_streams) {
  std::string text = Crlf("Content-Type: multipart/mixed; boundary=b||--b||one|--b||two|--b--");
  auto m = Parse(text);
  m->Reparse();
  EXPECT_EQ(Shape(*m->RootPart), "('one','two')");
  TStringStream stream(text);
  stream.SetPosition(10);
  EXPECT_EQ(Shape(*TMessage::CreateFromStream(stream)->RootPart), Shape(*m->RootPart));
}

// --- message files -----------------------------------------------------------------

TEST(MessageFile, line_end_rule) {
  for (const char* yes : {"A: b\nC: d\n\nbody\r\n", "A: b\n", "\nbody"}) EXPECT_TRUE(HasBareLfHeader(yes)) << yes;
  for (const char* no : {"A: b\r\nC: d\n\nbody", "A: b\rC: d\n\n", "no line end", ""})
    EXPECT_FALSE(HasBareLfHeader(no)) << no;
  EXPECT_EQ(ExpandBareLf("\na\r\nb\n\nc\rd\n"), "\r\na\r\nb\r\n\r\nc\rd\r\n");
  // Against a plain reference, across the 16-byte steps of the fast path and
  // its batches of 4080 bytes (some texts nothing but LFs).
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(round % 50 == 0 ? 4000 + rng() % 5000 : rng() % 70, 'a');
    for (char& c : text) c = round % 100 == 0 ? '\n' : "\r\na-"[rng() % 4];
    std::string want;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) want += '\r';
      want += text[i];
    }
    ASSERT_EQ(ExpandBareLf(text), want) << round;
  }
  std::string mixed = "A: b\r\n\r\nx\ny";
  EXPECT_FALSE(ApplyLineEndRule(mixed));
  EXPECT_EQ(mixed, "A: b\r\n\r\nx\ny");
}

TEST(MessageFile, mapped_and_read_files_convert_alike) {
  // Large enough for the conversion to go in pieces; a CR LF pair and a bare
  // LF sit on the piece boundary (8 MB).
  std::string bytes = "Subject: big\n\n";
  while (bytes.size() < (size_t(8) << 20) - 1) bytes += "line of text\n";
  bytes.resize((size_t(8) << 20) - 1);
  bytes += "\r\n\nend\n";
  std::string name = std::string(TESSEL_BINARY_DIR) + "/message_file_big.eml";
  std::ofstream(name, std::ios::binary) << bytes;
  std::string want = ExpandBareLf(bytes);
  for (TFileAccess access : {TFileAccess::Map, TFileAccess::Read}) {
    std::unique_ptr<TText> text = LoadMessageText(name, access);
    ASSERT_EQ(text->Length(), static_cast<int32_t>(want.size()));
    EXPECT_TRUE(std::string_view(text->Start(), want.size()) == want);
    EXPECT_EQ(text->Start()[text->Length()], '\0');
  }
  // A mapped file that fills its last page still ends in a NUL.
  std::string header = "Subject: page\r\n\r\n";
  std::string page = header + std::string(8192 - header.size(), 'x');
  std::ofstream(name, std::ios::binary | std::ios::trunc) << page;
  std::unique_ptr<TText> mapped = LoadMessageText(name, TFileAccess::Map);
  ASSERT_EQ(mapped->Length(), 8192);
  EXPECT_EQ(mapped->Start()[8192], '\0');
  EXPECT_EQ(TMessage(std::move(mapped)).RootPart->RawSize(), 8192 - static_cast<int32_t>(header.size()));
  // A whole message file, LF-only.
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      << "Content-Type: multipart/mixed; boundary=b\n\n--b\n\n1\n--b--\n";
  EXPECT_EQ(Shape(*OpenMessageFile(name, MimeParseOptions())->RootPart), "('1')");
  std::remove(name.c_str());
  EXPECT_THROW(OpenMessageFile(name, MimeParseOptions()), EWinException);
}

// --- the one way in: options, bare PKCS #7 -------------------------------------

TEST(OpenMessage, bare_pkcs7_is_recognised_by_its_first_two_elements) {
  const std::string oid = "\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";
  struct {
    std::string bytes;
    bool bare;
  } rows[] = {{"\x30\x80" + oid, true},                                         // indefinite length
              {"\x30\x0B" + oid, true},                                         // short form
              {"\x30\x82\x0A\x0A" + oid, true},                                 // long form holding LF bytes
              {"\x30\x84\x00\x00\x00\x0B"s + oid, true},                        // four length octets
              {"\x30\x85\x00\x00\x00\x00\x0B"s + oid, false},                   // five are no length of ours
              {"\x31\x80" + oid, false},                                        // a SET
              {"\x30\x80\x02\x01\x00", false},                                  // first element not an OID
              {"\x30\x80\x06\x08\x2A\x86\x48\x86\xF7\x0D\x01\x07", false},      // the arc itself
              {"\x30\x80\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x09\x02", false},  // another arc
              {"\x30\x80" + oid.substr(0, 10), false},                          // cut inside the OID
              {"\x30", false},
              {"", false},
              {"Subject: x\r\n\r\n", false}};
  for (const auto& row : rows) EXPECT_EQ(IsBarePkcs7(row.bytes), row.bare) << testing::PrintToString(row.bytes);
}

TEST(OpenMessage, bare_pkcs7_opens_as_one_part_with_its_bytes_unchanged) {
  // The length octets 0A 0A look like an LF-only header block ending in an
  // empty line: the line-end rule would rewrite the object.
  std::string der = "\x30\x82\x0A\x0A\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";
  der += "\xA0\x82\x09\xFB";
  der += std::string(0x0A0A + 4 - der.size(), '\n');
  ASSERT_TRUE(HasBareLfHeader(der));
  auto check = [&](TMessage& m) {
    EXPECT_EQ(m.RootCount(), 1);
    EXPECT_EQ(m.RootPart->ContentType, u"application/pkcs7-mime");
    EXPECT_EQ(m.RootPart->GetDecodedContent()->ToString(), der);
  };
  check(*OpenMessageBytes(der, MimeParseOptions()));
  std::string name = std::string(TESSEL_BINARY_DIR) + "/open_message_bare.p7m";
  std::ofstream(name, std::ios::binary | std::ios::trunc) << der;
  for (TFileAccess access : {TFileAccess::Map, TFileAccess::Read})
    check(*OpenMessageFile(name, MimeParseOptions(), access));
  // Bytes that are neither a message nor PKCS #7 still fail as a message.
  std::ofstream(name, std::ios::binary | std::ios::trunc) << "\x30\x80\x02\x01\x00\n\nno header";
  EXPECT_THROW(OpenMessageFile(name, MimeParseOptions()), EMimeParseError);
  std::remove(name.c_str());
  EXPECT_THROW(OpenMessageBytes("no header", MimeParseOptions()), EMimeParseError);
  // Bytes in memory get the line-end rule as files do.
  EXPECT_EQ(
      Shape(*OpenMessageBytes("Content-Type: multipart/mixed; boundary=b\n\n--b\n\n1\n--b--\n", MimeParseOptions())
                 ->RootPart),
      "('1')");
}

namespace {

class TMarkedPart : public TBodyPart {
public:
  std::unique_ptr<TBodyPart> NewOfClass() const override { return std::make_unique<TMarkedPart>(); }
};

}  // namespace

TEST(OpenMessage, embedded_messages_parse_with_the_options_of_their_message) {
  std::string bytes;
  for (int i = 0; i < 5; ++i) bytes += "Content-Type: message/rfc822\r\n\r\n";
  bytes += "Content-Type: text/x-marked\r\n\r\nx";
  TParseOptions options = MimeParseOptions();
  options.SetPartClass("Text/X-Marked", [] { return std::unique_ptr<TBodyPart>(new TMarkedPart()); });
  auto marked = Parse(bytes, options);
  options.PartClasses.clear();  // the message keeps its own copy
  auto plain = Parse(bytes);
  ASSERT_EQ(EmbeddedDepth(*marked), 5);
  TBodyPart* inner = marked->RootPart;
  while (TBodyPart* next = inner->InnerRoot()) inner = next;
  EXPECT_NE(dynamic_cast<TMarkedPart*>(inner), nullptr);
  inner = plain->RootPart;
  while (TBodyPart* next = inner->InnerRoot()) inner = next;
  EXPECT_EQ(dynamic_cast<TMarkedPart*>(inner), nullptr);
  // The nesting cap travels the same way, and a reparse keeps the options.
  TParseOptions shallow = MimeParseOptions();
  shallow.MaxNestingDepth = 3;
  auto capped = Parse(bytes, shallow);
  EXPECT_EQ(EmbeddedDepth(*capped), 3);
  capped->Reparse();
  EXPECT_EQ(EmbeddedDepth(*capped), 3);
}

TEST(OpenMessage, binary_body_in_a_converted_file_says_so) {
  std::string lf =
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Transfer-Encoding: Binary\n\nA\nB\n"
      "--b\nContent-Transfer-Encoding: 8bit\n\nC\nD\n--b--\n";
  auto m = OpenMessageBytes(lf, MimeParseOptions());
  ASSERT_EQ(m->RootPart->ChildCount(), 2);
  EXPECT_EQ(m->RootPart->Children(0)->Problems.Notes, std::vector<std::string>{kConvertedBinaryBody});
  EXPECT_TRUE(m->RootPart->Children(1)->Problems.Empty());
  // Stored with CR LF: nothing converted, nothing to say.
  auto crlf = OpenMessageBytes(ExpandBareLf(lf), MimeParseOptions());
  EXPECT_TRUE(crlf->RootPart->Children(0)->Problems.Empty());
}
