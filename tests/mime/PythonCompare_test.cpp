// The part trees the engine builds for the corpus messages, compared with
// the trees CPython's email package builds for them (content types, file
// names, children, and the SHA-1 of each leaf's decoded content).
#include <gtest/gtest.h>

#include "CorpusSupport.h"

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
    {"comm-central/mailnews/test/data/25-HTML+embedded-image.eml", "QuotedPrintable"},
    {"comm-central/mailnews/test/data/27-plaintext+(HTML+embedded-image).eml", "QuotedPrintable"},
    {"comm-central/mailnews/test/data/29-(HTML+embedded-image)+attachment.eml", "QuotedPrintable"},
    {"comm-central/mailnews/test/data/30-plaintext+(HTML+embedded-image)+attachment.eml", "QuotedPrintable"},
    {"comm-central/mailnews/test/data/bug513543", "DelimiterLine"},
    {"comm-central/mailnews/test/data/multipart-complex2", "Innermost"},
    {"comm-central/mailnews/test/data/multipartmalt-detach", "NoHeader"},
    {"cpython/Lib/test/test_email/data/msg_02.txt", "Digest"},
    {"cpython/Lib/test/test_email/data/msg_15.txt", "Innermost"},
    {"cpython/Lib/test/test_email/data/msg_16.txt", "MessageTypes"},
    {"cpython/Lib/test/test_email/data/msg_17.txt", "EmptyBody"},
    {"cpython/Lib/test/test_email/data/msg_19.txt", "NoHeader"},
    {"cpython/Lib/test/test_email/data/msg_25.txt", "NoBoundary"},
    {"cpython/Lib/test/test_email/data/msg_30.txt", "Digest"},
    {"cpython/Lib/test/test_email/data/msg_31.txt", "EmptyBody"},
    {"cpython/Lib/test/test_email/data/msg_33.txt", "NoBoundary"},
    {"cpython/Lib/test/test_email/data/msg_34.txt", "Digest"},
    {"cpython/Lib/test/test_email/data/msg_35.txt", "NoHeader"},
    {"cpython/Lib/test/test_email/data/msg_36.txt", "MessageTypes"},
    {"cpython/Lib/test/test_email/data/msg_37.txt", "DelimiterLine"},
    {"cpython/Lib/test/test_email/data/msg_38.txt", "Innermost"},
    {"cpython/Lib/test/test_email/data/msg_39.txt", "Innermost"},
    {"cpython/Lib/test/test_email/data/msg_41.txt", "EmptyBody"},
    {"cpython/Lib/test/test_email/data/msg_42.txt", "Childless"},
    {"cpython/Lib/test/test_email/data/msg_43.txt", "MessageTypes"},
    {"cpython/Lib/test/test_email/data/msg_47.txt", "NoHeader"},
    {"gmime/tests/data/mime-part/raptors.uu.txt", "OtherEncoding"},
    {"gmime/tests/data/partial/input/photo-discuss/message-partial.0.eml", "MessageTypes"},
    {"gmime/tests/data/partial/input/photo-discuss/message-partial.1.eml", "MessageTypes"},
    {"gmime/tests/data/partial/input/photo-discuss/message-partial.2.eml", "MessageTypes"},
    {"kde-mimetreeparser/autotests/testdata/crlf-encrypted-with-signature.mbox", "QuotedPrintable"},
    {"kde-mimetreeparser/autotests/testdata/multipart-mixed-alternative-inline-pgp.mbox", "QuotedPrintable"},
    {"kde-mimetreeparser/autotests/testdata/openpgp-signed-apple.mbox", "QuotedPrintable"},
    {"kmime/autotests/data/big-allocation.mbox", "DelimiterLine"},
    {"kmime/autotests/data/broken-content-disposition.mbox", "Rfc2231"},
    {"kmime/autotests/data/bug392239.mbox", "BlankLine"},
    {"kmime/autotests/data/bug519598-encapsulated-message.mbox", "EmbeddedNoHeader"},
    {"kmime/autotests/data/bug519599.mbox", "NoHeader"},
    {"kmime/autotests/data/eai-attachment.mbox", "CPython: UTF-8 header text without encoded words is replaced; here it reads as UTF-8"},
    {"kmime/autotests/data/eai-mimefield.mbox", "CPython: UTF-8 header text without encoded words is replaced; here it reads as UTF-8"},
    {"kmime/autotests/data/headers-with-nullbytes.mbox", "ColonLine"},
    {"kmime/autotests/data/multipart-parse-abort-2.mbox", "DelimiterLine"},
    {"kmime/autotests/data/multipart-parse-abort.mbox", "EndDelimiter"},
    {"kmime/autotests/data/x-pkcs7.mbox", "PartialQuad"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/2002_06_12_doublebound.msg", "DelimiterLine"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/badbound.msg", "EmptyBody"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/double-bound.msg", "DelimiterLine"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/double-semicolon.msg", "NoBoundary"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/double-semicolon2.msg", "NoBoundary"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/frag.msg", "PartialQuad"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/hdr-fakeout.msg", "BlankLine"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/jt-0498.msg", CPythonUnclosed},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-2evil.msg", "CPython: fails on the encoded words of this file name (LookupError); they decode here"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-2gifs-base64.msg", "EncodedMessage"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-bad.msg", "LastContentType"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-badnames.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-clen.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-digest.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-frag.msg", "PartialQuad"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/multi-simple.msg", CPythonFolded},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/russian.msg", "Charset"},
    {"mime4j/core/src/test/resources/mimetools-testmsgs/twopart.msg", "CPython: a Content-Transfer-Encoding value with a trailing blank leaves the body undecoded; here the value is trimmed"},
    {"mime4j/core/src/test/resources/testmsgs/bad-newlines-multiple-parts-base64.msg", "EncodedMessage"},
    {"mime4j/core/src/test/resources/testmsgs/base64encoded-rfc822message-nested.msg", "EncodedMessage"},
    {"mime4j/core/src/test/resources/testmsgs/base64encoded-rfc822message.msg", "EncodedMessage"},
    {"mime4j/core/src/test/resources/testmsgs/basic-plain-with-bad-header-separator.msg", "NoHeader"},
    {"mime4j/core/src/test/resources/testmsgs/ending-boundaries.msg", "Prefix"},
    {"mime4j/core/src/test/resources/testmsgs/malformedHeader-nocrlfcrlf.msg", "NoHeader"},
    {"mime4j/core/src/test/resources/testmsgs/malformedHeaderStartsBody-nocrlfcrlf.msg", "NoHeader"},
    {"mime4j/core/src/test/resources/testmsgs/missing-boundary.msg", "EmptyBody"},
    {"mime4j/core/src/test/resources/testmsgs/missing-inner-boundary.msg", "Childless"},
    {"mime4j/core/src/test/resources/testmsgs/missing-inner-start-boundary.msg", "Childless"},
    {"mime4j/core/src/test/resources/testmsgs/multipartdigestnestedemptyparts.msg", "Digest"},
    {"mime4j/core/src/test/resources/testmsgs/multipartemptypart.msg", "DelimiterLine"},
    {"mime4j/core/src/test/resources/testmsgs/multipartnopart.msg", "Childless"},
    {"mime4j/core/src/test/resources/testmsgs/russian-headers.msg", "Charset"},
    {"mime4j/core/src/test/resources/testmsgs/very-long-boundary.msg", "UnclosedWord"},
    {"mime4j/core/src/test/resources/testmsgs/weird-boundary.msg", "CPython: ignores trailing blanks on delimiter lines; here a line one blank short is no delimiter"},
    {"mime4j/dom/src/test/resources/mime4j-219-new-date-time-format.msg", "CrOnly"},
    {"mime4j/james-utils/src/test/resources/sampleMail.msg", "PartialQuad"},
    {"mimekit/UnitTests/TestData/dkim/multipart-no-end-boundary.msg", CPythonUnclosed},
    {"mimekit/UnitTests/TestData/messages/bounce.txt", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/delivery-status-multiple-blank-lines.txt", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/delivery-status-no-blank-line.txt", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/delivery-status.anonymized.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/delivery-status.txt", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/delivery-status2.txt", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/disposition-notification.anonymized.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/disposition-notification.txt", "MessageTypes"},
    {"mimekit/UnitTests/TestData/messages/empty-multipart.txt", "Childless"},
    {"mimekit/UnitTests/TestData/messages/issue358.txt", "NoHeader"},
    {"mimekit/UnitTests/TestData/partial/message-partial.0.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/partial/message-partial.1.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/partial/message-partial.2.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/partial/rfc2046.0.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/partial/rfc2046.1.eml", "MessageTypes"},
    {"mimekit/UnitTests/TestData/partial/rfc2046.eml", "PartialQuad"},
    {"openssl/test/smime-eml/pkcs7-empty-digest-set.eml", "DelimiterLine"},
};

// CPython reads a type without exactly one "/" as text/plain.
std::string PythonType(const std::string& type) {
  return std::count(type.begin(), type.end(), '/') == 1 ? type : "text/plain";
}

void Compare(const TLoaded& loaded, const TJson& node, TBodyPart& part, const std::string& path,
             std::vector<std::string>& diffs) {
  std::string ours = part.ContentTypeKey();
  std::string theirs = node.Str("content_type");
  if (node.Str("content_type_defaulted") == "true" ? !ours.empty() && ours != theirs : PythonType(ours) != theirs)
    diffs.push_back(path + ": type " + ours + " / " + theirs);
  std::string file = WideToUtf8(part.FileName.empty() ? part.Name : part.FileName);
  if (file != node.Str("filename")) diffs.push_back(path + ": filename " + file + " / " + node.Str("filename"));
  std::vector<TBodyPart*> children = PathChildren(part);
  if (const TJson* kids = node.Get("children")) {
    if (size_t n = kids->Items.size(); n != children.size())
      diffs.push_back(path + ": children " + std::to_string(children.size()) + " / " + std::to_string(n));
    for (size_t i = 0; i < kids->Items.size() && i < children.size(); ++i)
      Compare(loaded, kids->Items[i], *children[i], path + "." + std::to_string(i + 1), diffs);
  } else if (!children.empty()) {
    diffs.push_back(path + ": " + std::to_string(children.size()) + " children / leaf");
  } else {
    auto same = [&](const std::string& form) { return Sha1Hex(form) == node.Str("decoded_sha1"); };
    CompareContent(loaded, part, path, node.Str("decoded_size"), same, diffs);
  }
}

}  // namespace

TEST(corpus_compare, python_trees) {
  std::string dir = Corpus() + "/expected-python/";
  if (!Exists(dir + "cpython.structure.json")) GTEST_SKIP() << "corpus not found";
  TAgreement agreement{kDifferent};
  for (const char* source : {"bc-java", "bc-test-data", "comm-central", "cpython", "gmime", "kde-mimetreeparser",
                             "kmime", "mime4j", "mimekit", "openssl"}) {
    TJson doc = ParseJson(ReadFileBytes(dir + source + ".structure.json"));
    const TJson& messages = *doc.Get("messages");
    for (size_t m = 0; m < messages.Keys.size(); ++m) {
      const TJson* tree = messages.Items[m].Get("tree");
      if (!tree) continue;  // CPython itself failed on it
      const std::string& name = messages.Keys[m];
      agreement.Check(name, Corpus() + "/" + name,
                      [&](const TLoaded& loaded, TBodyPart& root, std::vector<std::string>& diffs) {
                        Compare(loaded, *tree, root, "1", diffs);
                      });
    }
  }
  agreement.Report("CPython");
}
