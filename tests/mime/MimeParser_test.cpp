// The parser: header blocks, multipart splitting with the shared delimiter
// stack, nesting limits, and input that tries to make it slow.
#include <gtest/gtest.h>

#include <ctime>
#include <iostream>

#include "MimeTestSupport.h"
#include "mime/MimeParser.h"

using namespace tessel;
using namespace mimetest;

namespace {

TBodyPart* Root(TMessage& m) { return m.RootPart; }

}  // namespace

// --- header blocks ------------------------------------------------------------

TEST(parser_headers, lf_only_bytes_are_one_header_line) {
  // Bytes given directly keep the CR-only line rule; files are converted
  // by the loader (MessageFile_test).
  auto m = Parse("Subject: a\nFrom: b\n\nbody\n");
  ASSERT_EQ(Root(*m)->HeaderCount(), 1);
  EXPECT_EQ(Root(*m)->HeaderName(0), "Subject");
  EXPECT_EQ(Root(*m)->HeaderValue(0), "a\nFrom: b\n\nbody");
  EXPECT_EQ(Root(*m)->RawSize(), 0);
  try {
    Parse("no colon here\nat all\n");
    FAIL();
  } catch (const EMimeParseError& e) {
    EXPECT_STREQ(e.what(), "Invalid header:no colon here\nat all");
    EXPECT_EQ(e.Offset, 0);
  }
}

TEST(parser_headers, empty_text_and_missing_blank_line) {
  auto empty = Parse("");
  EXPECT_EQ(Root(*empty)->HeaderCount(), 0);
  EXPECT_EQ(Root(*empty)->BodyStart, 0);
  EXPECT_EQ(Root(*empty)->BodyEnd, 0);
  auto noBlank = Parse(Crlf("Subject: x|From: y"));
  EXPECT_EQ(Root(*noBlank)->HeaderCount(), 2);
  EXPECT_EQ(Root(*noBlank)->RawSize(), 0);
  EXPECT_EQ(Root(*noBlank)->BodyStart, static_cast<int32_t>(noBlank->Text->Length()));
}

TEST(parser_headers, folding_and_repeated_names) {
  auto m = Parse(Crlf("\tfirst: continuation taken as a line|X-A: a|\tb|X-A: second|   |Subject:  s  ||body"));
  TBodyPart& p = *Root(*m);
  ASSERT_EQ(p.HeaderCount(), 4);
  EXPECT_EQ(p.HeaderName(0), "first");
  EXPECT_EQ(p.HeaderValue(1), "a b");
  EXPECT_EQ(p.HeaderValue(2), "second");
  EXPECT_EQ(p.HeaderValue(3), "s");
  // A blank-only line continues the previous header (it adds a space).
  EXPECT_EQ(*p.FieldValue("X-a"), "second");
  EXPECT_EQ(p.Params.Value("x-a"), "second");
  EXPECT_EQ(Raw(p), "body");
  EXPECT_THROW(Parse(Crlf("Subject: x|Bad line|\tstill bad||")), EMimeParseError);
}

TEST(parser_headers, nul_bytes_are_ordinary_header_bytes) {
  std::string text = Crlf("Subject: a") + std::string("\0b", 2) + Crlf("|From: c||body");
  auto m = Parse(text);
  ASSERT_EQ(Root(*m)->HeaderCount(), 2);
  EXPECT_EQ(Root(*m)->HeaderValue(0), std::string("a\0b", 3));
  EXPECT_EQ(Root(*m)->HeaderValue(1), "c");
  EXPECT_EQ(Raw(*Root(*m)), "body");
}

// --- multipart splitting ----------------------------------------------------------

TEST(parser_multipart, preamble_parts_and_epilogue) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=\"b\"||preamble|--b|Content-Type: text/plain||one|"
                      "--b||two|--b--|epilogue|"));
  TBodyPart& root = *Root(*m);
  ASSERT_EQ(root.ChildCount(), 2);
  EXPECT_EQ(Raw(*root.Children(0)), "one");
  EXPECT_EQ(Raw(*root.Children(1)), "two");
  EXPECT_EQ(root.Children(0)->Parent(), &root);
  // The multipart's own body runs to the end of its close delimiter line.
  EXPECT_EQ(Raw(root), Crlf("preamble|--b|Content-Type: text/plain||one|--b||two|--b--|"));
}

TEST(parser_multipart, empty_body_before_a_delimiter) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=b||--b|X: y||--b--"));
  TBodyPart& child = *Root(*m)->Children(0);
  EXPECT_EQ(child.BodyEnd, child.BodyStart - 2);
  EXPECT_EQ(child.RawSize(), 0);
  EXPECT_EQ(Raw(child), "");
  EXPECT_EQ(DecodedText(child), "");
}

TEST(parser_multipart, delimiters_must_start_a_line_and_match_as_prefix) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=ab||--ab||x --ab y|--abc trailing|Z: 1||two|--ab--"));
  TBodyPart& root = *Root(*m);
  ASSERT_EQ(root.ChildCount(), 2);
  EXPECT_EQ(Raw(*root.Children(0)), "x --ab y");
  EXPECT_EQ(root.Children(1)->HeaderValue(0), "1");
}

TEST(parser_multipart, nested_close_at_once_and_missing_close) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=out||--out|"
                      "Content-Type: multipart/alternative; boundary=empty||--empty--|"
                      "--out|Content-Type: multipart/alternative; boundary=open||--open||first|--open||last|"
                      "--out||after|--out--"));
  TBodyPart& root = *Root(*m);
  ASSERT_EQ(root.ChildCount(), 3);
  EXPECT_EQ(root.Children(0)->ChildCount(), 0);
  TBodyPart& open = *root.Children(1);
  ASSERT_EQ(open.ChildCount(), 2);
  EXPECT_EQ(Raw(*open.Children(1)), "last");  // ends at the enclosing delimiter
  EXPECT_EQ(Raw(*root.Children(2)), "after");
}

TEST(parser_multipart, nested_epilogue_before_the_enclosing_delimiter) {
  // After a nested close delimiter the enclosing multipart looks for its own
  // delimiter: an epilogue or a missing blank line must not shift it.
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=out||--out|"
                      "Content-Type: multipart/alternative; boundary=in||--in||a|--in--|inner epilogue|"
                      "--out|Content-Type: multipart/alternative; boundary=in2||--in2||b|--in2--|--out|"
                      "Subject: third||c|--out--"));
  TBodyPart& root = *Root(*m);
  ASSERT_EQ(root.ChildCount(), 3);
  EXPECT_EQ(Raw(*root.Children(0)->Children(0)), "a");
  EXPECT_EQ(Raw(*root.Children(1)->Children(0)), "b");
  EXPECT_EQ(root.Children(2)->HeaderValue(0), "third");
  EXPECT_EQ(Raw(*root.Children(2)), "c");
}

TEST(parser_multipart, multipart_whose_delimiter_never_occurs) {
  // Outermost: an empty body. Nested: a childless part whose body runs to
  // the enclosing delimiter; the enclosing multipart goes on after it.
  auto outer = Parse(Crlf("Content-Type: multipart/mixed; boundary=zz||no delimiter here|"));
  EXPECT_EQ(Root(*outer)->RawSize(), 0);
  EXPECT_EQ(Root(*outer)->ContentType, u"multipart/mixed");
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=out||--out|"
                      "Content-Type: multipart/related; boundary=never||stray text|--out||next|--out--"));
  TBodyPart& root = *Root(*m);
  ASSERT_EQ(root.ChildCount(), 2);
  EXPECT_EQ(root.Children(0)->ChildCount(), 0);
  EXPECT_EQ(root.Children(0)->Parent(), &root);
  EXPECT_EQ(Raw(*root.Children(0)), "stray text");
  EXPECT_EQ(Raw(*root.Children(1)), "next");
}

TEST(parser_multipart, missing_boundary_parameter_matches_every_dash_line) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed||--a||one|--b||two|--c--"));
  EXPECT_EQ(Root(*m)->Delimiter, "\r\n--");
  EXPECT_EQ(Root(*m)->ChildCount(), 3);
}

TEST(parser_multipart, last_content_type_decides) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=b|Content-Type: text/plain||--b||x|--b--"));
  EXPECT_FALSE(Root(*m)->IsMultipart);
  EXPECT_EQ(Root(*m)->ChildCount(), 0);
  EXPECT_EQ(Root(*m)->ContentType, u"text/plain");
}

// --- classes -----------------------------------------------------------------

TEST(parser_classes, embedded_message_by_content_type_in_any_case) {
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=b||--b|Content-Type: MESSAGE/RFC822||"
                      "Subject: inner||hello|--b--"));
  TBodyPart* part = Root(*m)->Children(0);
  ASSERT_NE(dynamic_cast<TRFC822BodyPart*>(part), nullptr);
  EXPECT_EQ(part->ContentType, u"MESSAGE/RFC822");
  EXPECT_EQ(part->Parent(), Root(*m));
  TBodyPart* inner = part->InnerRoot();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->HeaderValue(0), "inner");
  EXPECT_EQ(Raw(*inner), "hello");
  EXPECT_EQ(inner->HeaderStart, 0);  // offsets count in the embedded text
  EXPECT_EQ(part->InnerRoot(), inner);
}

TEST(parser_classes, embedded_message_stays_inside_its_slice) {
  // The embedded header has no blank line and its last line ends where the
  // enclosing delimiter begins: nothing of the enclosing text may join it.
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=b||--b|Content-Type: message/rfc822||"
                      "Subject: inner|--b|X-Outer: no||--b--"));
  TBodyPart* inner = Root(*m)->Children(0)->InnerRoot();
  ASSERT_NE(inner, nullptr);
  ASSERT_EQ(inner->HeaderCount(), 1);
  EXPECT_EQ(inner->HeaderValue(0), "inner");
  EXPECT_EQ(Root(*m)->ChildCount(), 2);
}

TEST(parser_classes, encoded_embedded_message_is_decoded_first) {
  // "Subject: x\n\nbody\n" in base64: LF-only, as mailers often encode it.
  auto m = Parse(Crlf("Content-Type: message/rfc822|Content-Transfer-Encoding: base64||U3ViamVjdDogeAoKYm9keQo=|"));
  TBodyPart* inner = Root(*m)->InnerRoot();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->HeaderValue(0), "x");
  EXPECT_EQ(Raw(*inner), "body\r\n");
}

TEST(parser_classes, embedded_message_that_does_not_parse) {
  auto m = Parse(Crlf("Content-Type: message/rfc822||no header here|"));
  TRFC822BodyPart* part = dynamic_cast<TRFC822BodyPart*>(Root(*m));
  ASSERT_NE(part, nullptr);
  EXPECT_THROW(part->Message(), EMimeParseError);
  EXPECT_THROW(part->Message(), EMimeParseError);  // the failure is kept, not retried
}

namespace {

class TFailingPart : public TBodyPart {
public:
  std::unique_ptr<TBodyPart> NewOfClass() const override { return std::make_unique<TFailingPart>(); }
  void Analyze() override { throw Exception("cannot analyse"); }
};

}  // namespace

TEST(parser_classes, failed_specialisation_keeps_the_plain_part) {
  RegisterPartClass("Multipart/X-Failing", [] { return std::unique_ptr<TBodyPart>(new TFailingPart()); });
  auto m = Parse(Crlf("Content-Type: multipart/mixed; boundary=o||--o|"
                      "Content-Type: multipart/x-failing; boundary=i||--i||a|--i||b|--i--|--o||c|--o--"));
  TBodyPart& root = *Root(*m);
  ASSERT_EQ(root.ChildCount(), 2);
  TBodyPart* plain = root.Children(0);
  EXPECT_EQ(dynamic_cast<TFailingPart*>(plain), nullptr);
  ASSERT_EQ(plain->ChildCount(), 2);
  EXPECT_EQ(plain->Children(1)->Parent(), plain);
  EXPECT_EQ(Raw(*plain->Children(1)), "b");
  EXPECT_EQ(plain->ContentType, u"multipart/x-failing");
}

// --- limits ---------------------------------------------------------------------

TEST(parser_limits, deep_multipart_nesting_stops_at_the_cap) {
  std::string text;
  for (int i = 0; i < 3 * kMaxNestingDepth; ++i)
    text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "x\r\n\r\n--b" + std::to_string(i) +
            "x\r\n";
  text += "\r\nleaf\r\n";
  auto m = Parse(text);
  TBodyPart* p = Root(*m);
  int depth = 0;
  while (p->ChildCount() == 1) {
    p = p->Children(0);
    ++depth;
  }
  EXPECT_EQ(depth, kMaxNestingDepth);
  EXPECT_EQ(p->Depth, kMaxNestingDepth);
  EXPECT_TRUE(p->IsMultipart);
  EXPECT_GT(p->RawSize(), 0);  // kept as a leaf with its raw content
}

TEST(parser_limits, deep_embedded_messages_stop_at_the_cap) {
  std::string text;
  for (int i = 0; i < 3 * kMaxNestingDepth; ++i) text += "Content-Type: message/rfc822\r\n\r\n";
  text += "Subject: last\r\n\r\nx";
  auto m = Parse(text);
  TBodyPart* p = Root(*m);
  int depth = 0;
  while (TBodyPart* inner = p->InnerRoot()) {
    p = inner;
    ++depth;
  }
  EXPECT_EQ(depth, kMaxNestingDepth);
}

TEST(parser_limits, hostile_multiparts_parse_in_linear_time) {
  // Tens of thousands of multiparts whose delimiters never occur: each one
  // would otherwise scan the rest of the text.
  std::string text = "Content-Type: multipart/mixed; boundary=out\r\n\r\n";
  for (int i = 0; text.size() < 10000000; ++i)
    text += "--out\r\nContent-Type: multipart/mixed; boundary=n" + std::to_string(i) + "\r\n\r\nx\r\n";
  text += "--out--\r\n";
  // Processor time: the machine running the tests may be busy.
  std::clock_t start = std::clock();
  auto m = Parse(text);
  double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
  EXPECT_GT(Root(*m)->ChildCount(), 100000);
  EXPECT_EQ(Raw(*Root(*m)->Children(7)), "x");
  std::cout << "hostile multiparts: " << seconds << " s\n";
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(seconds, 1.0);  // only optimised builds are timed
#endif
}

TEST(parser_limits, indexed_search_finds_what_a_scan_finds) {
  std::string text = Crlf("Content-Type: multipart/mixed; boundary=ab||--abX||-- ab|--a|--ab||one|--ab|"
                          "Content-Type: multipart/mixed; boundary=a||--a||inner|--a--|--ab--|tail");
  std::string direct = Listing(*Parse(text));
  SetDelimiterScanBudget(0);
  std::string indexed = Listing(*Parse(text));
  SetDelimiterScanBudget(-1);
  EXPECT_EQ(direct, indexed);
  EXPECT_NE(direct.find("1.3.1\t"), std::string::npos);
}
