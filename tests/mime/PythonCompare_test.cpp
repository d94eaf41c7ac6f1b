// The part trees the engine builds for the corpus messages, compared with
// the trees CPython's email package builds for them (content types, file
// names, children, and the SHA-1 of each leaf's decoded content).
#include <gtest/gtest.h>

#include <iostream>

#include "CorpusSupport.h"
#include "util/StringUtils.h"

using namespace tessel;
using namespace corpus;

namespace {

// Where CPython's own rules make the difference.
constexpr const char* CPythonFolded =
    "CPython: keeps the line break of a folded boundary parameter and finds no part; here it unfolds";
constexpr const char* CPythonUnclosed =
    "CPython: drops the last line break of the last part when the close delimiter is missing";

// Messages whose tree differs from CPython's on purpose, with the rule that
// makes the difference.
const std::map<std::string, std::string> kDifferent = {
    {"comm-central/mailnews/test/data/25-HTML+embedded-image.eml", reason::QuotedPrintable},
    {"comm-central/mailnews/test/data/27-plaintext+(HTML+embedded-image).eml", reason::QuotedPrintable},
    {"comm-central/mailnews/test/data/29-(HTML+embedded-image)+attachment.eml", reason::QuotedPrintable},
    {"comm-central/mailnews/test/data/30-plaintext+(HTML+embedded-image)+attachment.eml", reason::QuotedPrintable},
    {"comm-central/mailnews/test/data/bug513543", reason::DelimiterLine},
    {"comm-central/mailnews/test/data/multipart-complex2", reason::Innermost},
    {"comm-central/mailnews/test/data/multipartmalt-detach", reason::NoHeader},
    {"cpython/Lib/test/test_email/data/msg_02.txt", reason::Digest},
    {"cpython/Lib/test/test_email/data/msg_15.txt", reason::Innermost},
    {"cpython/Lib/test/test_email/data/msg_16.txt", reason::MessageTypes},
    {"cpython/Lib/test/test_email/data/msg_17.txt", reason::EmptyBody},
    {"cpython/Lib/test/test_email/data/msg_19.txt", reason::NoHeader},
    {"cpython/Lib/test/test_email/data/msg_25.txt", reason::NoBoundary},
    {"cpython/Lib/test/test_email/data/msg_30.txt", reason::Digest},
    {"cpython/Lib/test/test_email/data/msg_31.txt", reason::EmptyBody},
    {"cpython/Lib/test/test_email/data/msg_33.txt", reason::NoBoundary},
    {"cpython/Lib/test/test_email/data/msg_34.txt", reason::Digest},
    {"cpython/Lib/test/test_email/data/msg_35.txt", reason::NoHeader},
    {"cpython/Lib/test/test_email/data/msg_36.txt", reason::MessageTypes},
    {"cpython/Lib/test/test_email/data/msg_37.txt", reason::DelimiterLine},
    {"cpython/Lib/test/test_email/data/msg_38.txt", reason::Innermost},
    {"cpython/Lib/test/test_email/data/msg_39.txt", reason::Innermost},
    {"cpython/Lib/test/test_email/data/msg_41.txt", reason::EmptyBody},
    {"cpython/Lib/test/test_email/data/msg_42.txt", reason::Childless},
    {"cpython/Lib/test/test_email/data/msg_43.txt", reason::MessageTypes},
    {"cpython/Lib/test/test_email/data/msg_47.txt", reason::NoHeader},
    {"gmime/tests/data/mime-part/raptors.uu.txt", reason::OtherEncoding},
    {"gmime/tests/data/partial/input/photo-discuss/message-partial.0.eml", reason::MessageTypes},
    {"gmime/tests/data/partial/input/photo-discuss/message-partial.1.eml", reason::MessageTypes},
    {"gmime/tests/data/partial/input/photo-discuss/message-partial.2.eml", reason::MessageTypes},
    {"kde-mimetreeparser/autotests/testdata/crlf-encrypted-with-signature.mbox", reason::QuotedPrintable},
    {"kde-mimetreeparser/autotests/testdata/multipart-mixed-alternative-inline-pgp.mbox", reason::QuotedPrintable},
    {"kde-mimetreeparser/autotests/testdata/openpgp-signed-apple.mbox", reason::QuotedPrintable},
    {"kmime/autotests/data/big-allocation.mbox", reason::DelimiterLine},
    {"kmime/autotests/data/broken-content-disposition.mbox", reason::Rfc2231},
    {"kmime/autotests/data/bug392239.mbox", reason::BlankLine},
    {"kmime/autotests/data/bug519598-encapsulated-message.mbox", reason::EmbeddedNoHeader},
    {"kmime/autotests/data/bug519599.mbox", reason::NoHeader},
    {"kmime/autotests/data/eai-attachment.mbox", "CPython: UTF-8 header text without encoded words is replaced; here it reads as UTF-8"},
    {"kmime/autotests/data/eai-mimefield.mbox", "CPython: UTF-8 header text without encoded words is replaced; here it reads as UTF-8"},
    {"kmime/autotests/data/headers-with-nullbytes.mbox", reason::ColonLine},
    {"kmime/autotests/data/multipart-parse-abort-2.mbox", reason::DelimiterLine},
    {"kmime/autotests/data/multipart-parse-abort.mbox", reason::EndDelimiter},
    {"kmime/autotests/data/x-pkcs7.mbox", reason::PartialQuad},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/2002_06_12_doublebound.msg", reason::DelimiterLine},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/badbound.msg", reason::EmptyBody},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/double-bound.msg", reason::DelimiterLine},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/double-semicolon.msg", reason::NoBoundary},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/double-semicolon2.msg", reason::NoBoundary},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/frag.msg", reason::PartialQuad},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/hdr-fakeout.msg", reason::BlankLine},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/jt-0498.msg", CPythonUnclosed},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-2evil.msg", "CPython: fails on the encoded words of this file name (LookupError); they decode here"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-2gifs-base64.msg", reason::EncodedMessage},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-bad.msg", reason::LastContentType},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-badnames.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-clen.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-digest.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-frag.msg", reason::PartialQuad},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-simple.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/russian.msg", reason::Charset},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/twopart.msg", "CPython: a Content-Transfer-Encoding value with a trailing blank leaves the body undecoded; here the value is trimmed"},
    {"mime4j/core/src/test/resources/testmsgs/bad-newlines-multiple-parts-base64.msg", reason::EncodedMessage},
    {"mime4j/core/src/test/resources/testmsgs/base64encoded-rfc822message-nested.msg", reason::EncodedMessage},
    {"mime4j/core/src/test/resources/testmsgs/base64encoded-rfc822message.msg", reason::EncodedMessage},
    {"mime4j/core/src/test/resources/testmsgs/basic-plain-with-bad-header-separator.msg", reason::NoHeader},
    {"mime4j/core/src/test/resources/testmsgs/ending-boundaries.msg", reason::Prefix},
    {"mime4j/core/src/test/resources/testmsgs/malformedHeader-nocrlfcrlf.msg", reason::NoHeader},
    {"mime4j/core/src/test/resources/testmsgs/malformedHeaderStartsBody-nocrlfcrlf.msg", reason::NoHeader},
    {"mime4j/core/src/test/resources/testmsgs/missing-boundary.msg", reason::EmptyBody},
    {"mime4j/core/src/test/resources/testmsgs/missing-inner-boundary.msg", reason::Childless},
    {"mime4j/core/src/test/resources/testmsgs/missing-inner-start-boundary.msg", reason::Childless},
    {"mime4j/core/src/test/resources/testmsgs/multipartdigestnestedemptyparts.msg", reason::Digest},
    {"mime4j/core/src/test/resources/testmsgs/multipartemptypart.msg", reason::DelimiterLine},
    {"mime4j/core/src/test/resources/testmsgs/multipartnopart.msg", reason::Childless},
    {"mime4j/core/src/test/resources/testmsgs/russian-headers.msg", reason::Charset},
    {"mime4j/core/src/test/resources/testmsgs/very-long-boundary.msg", reason::UnclosedWord},
    {"mime4j/core/src/test/resources/testmsgs/weird-boundary.msg", "CPython: ignores trailing blanks on delimiter lines; here a line one blank short is no delimiter"},
    {"mime4j/dom/src/test/resources/mime4j-219-new-date-time-format.msg", reason::CrOnly},
    {"mime4j/james-utils/src/test/resources/sampleMail.msg", reason::PartialQuad},
    {"mimekit/UnitTests/TestData/dkim/multipart-no-end-boundary.msg", CPythonUnclosed},
    {"mimekit/UnitTests/TestData/messages/bounce.txt", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/delivery-status-multiple-blank-lines.txt", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/delivery-status-no-blank-line.txt", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/delivery-status.anonymized.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/delivery-status.txt", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/delivery-status2.txt", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/disposition-notification.anonymized.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/disposition-notification.txt", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/messages/empty-multipart.txt", reason::Childless},
    {"mimekit/UnitTests/TestData/messages/issue358.txt", reason::NoHeader},
    {"mimekit/UnitTests/TestData/partial/message-partial.0.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/partial/message-partial.1.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/partial/message-partial.2.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/partial/rfc2046.0.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/partial/rfc2046.1.eml", reason::MessageTypes},
    {"mimekit/UnitTests/TestData/partial/rfc2046.eml", reason::PartialQuad},
    {"openssl/test/smime-eml/pkcs7-empty-digest-set.eml", reason::DelimiterLine},
};

// CPython reads a type without exactly one "/" as text/plain.
std::string PythonType(const std::string& type) {
  return std::count(type.begin(), type.end(), '/') == 1 ? type : "text/plain";
}

void Compare(const TLoaded& loaded, const TJson& node, TBodyPart& part, const std::string& path,
             std::vector<std::string>& diffs) {
  std::string ours = part.ContentTypeKey();
  std::string theirs = node.Str("content_type");
  if (node.True("content_type_defaulted") ? !ours.empty() && ours != theirs : PythonType(ours) != theirs)
    diffs.push_back(path + ": type " + ours + " / " + theirs);
  std::string file = WideToUtf8(part.FileName.empty() ? part.Name : part.FileName);
  if (file != node.Str("filename")) diffs.push_back(path + ": filename " + file + " / " + node.Str("filename"));
  std::vector<TBodyPart*> children = PathChildren(part);
  const TJson* kids = node.Get("children");
  if (kids) {
    if (kids->Items.size() != children.size())
      diffs.push_back(path + ": children " + std::to_string(children.size()) + " / " + std::to_string(kids->Items.size()));
    for (size_t i = 0; i < kids->Items.size() && i < children.size(); ++i)
      Compare(loaded, kids->Items[i], *children[i], path + "." + std::to_string(i + 1), diffs);
    return;
  }
  if (!children.empty()) {
    diffs.push_back(path + ": " + std::to_string(children.size()) + " children / leaf");
    return;
  }
  std::string sha = node.Str("decoded_sha1");
  for (const std::string& form : ContentForms(loaded, part))
    if (Sha1Hex(form) == sha) return;
  diffs.push_back(path + ": content " + std::to_string(Decoded(part).size()) + " bytes / " +
                  std::to_string(static_cast<int64_t>(node.Get("decoded_size")->N)) + " (" +
                  WideToUtf8(part.TransferEncoding) + ")");
}

}  // namespace

TEST(corpus_compare, python_trees) {
  std::string dir = Corpus() + "/expected-python/";
  if (!Exists(dir + "cpython.structure.json")) GTEST_SKIP() << "corpus not found";
  int total = 0, agreeing = 0;
  for (const char* source : {"bc-java", "bc-test-data", "comm-central", "cpython", "gmime", "kde-mimetreeparser",
                             "kmime", "mime4j", "mimekit", "openssl"}) {
    TJson doc = ParseJson(ReadAll(dir + source + ".structure.json"));
    const TJson& messages = *doc.Get("messages");
    for (size_t m = 0; m < messages.Keys.size(); ++m) {
      const std::string& name = messages.Keys[m];
      const TJson* tree = messages.Items[m].Get("tree");
      if (!tree) continue;  // CPython itself failed on it
      ++total;
      TLoaded loaded = Load(Corpus() + "/" + name);
      std::vector<std::string> diffs;
      if (!loaded.Message)
        diffs.push_back("not parsed: " + loaded.Error);
      else
        Compare(loaded, *tree, *loaded.Message->RootPart, "1", diffs);
      auto known = kDifferent.find(name);
      if (diffs.empty()) {
        ++agreeing;
        EXPECT_TRUE(known == kDifferent.end()) << name << " now agrees; drop it from the list";
      } else if (known == kDifferent.end()) {
        ADD_FAILURE() << name << "\n  " << JoinStrings(diffs, "\n  ");
      }
    }
  }
  std::cout << "CPython agreement: " << agreeing << " of " << total << " messages\n";
}
