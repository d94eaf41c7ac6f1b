// The transfer decoding of S/MIME bodies: base64 bodies are decoded into one
// buffer, and must come out exactly as the stream decoder gives them,
// whatever the line layout, the junk between characters or the pads.
#include <gtest/gtest.h>

#include "smime/cms/SignedData.h"
#include "util/encodings/Base64.h"
#include "util/streams/MemoryStream.h"
#include "support/TestSupport.h"

using namespace tessel;

namespace {

struct TDecoded {
  std::string Octets;
  std::string Error;
};

// Decoded by the stream decoder (byStream) or into one buffer; the octets
// the stream decoder wrote before an error are kept.
TDecoded Decode(const std::string& text, bool byStream) {
  TDecoded d;
  TStringStream out;
  d.Error = test::ErrorOf([&] {
    if (byStream)
      Base64DecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
    else
      d.Octets = TransferDecode(text.data(), static_cast<int32_t>(text.size()), "BASE64");
  });
  if (byStream) d.Octets = out.DataString();
  return d;
}
TDecoded ByStream(const std::string& text) { return Decode(text, true); }
TDecoded ByString(const std::string& text) { return Decode(text, false); }

// Base64 of octets with a line break of the given text after every
// lineLength characters.
std::string Encode(const std::string& octets, size_t lineLength, const std::string& lineEnd) {
  TStringStream out;
  Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), out);
  std::string flat;
  for (char c : out.DataString())
    if (c != '\r' && c != '\n') flat += c;
  std::string text;
  for (size_t i = 0; i < flat.size(); i += lineLength) text += flat.substr(i, lineLength) + lineEnd;
  return text;
}

}  // namespace

TEST(TransferDecode, base64_text_forms_decode_as_the_stream_decoder_does) {
  const struct {
    const char* Text;
    const char* Octets;
    const char* Error;
  } cases[] = {{"", "", ""},
               {"YWJj", "abc", ""},
               {"YW\r\nJj\r\n", "abc", ""},
               {"Y W J j", "abc", ""},
               {"YWI=", "ab", ""},
               {"YQ==", "a", ""},
               {"YQ==YWJj", "a", ""},  // nothing after a pad
               {"YWJjZA", "abc", ""},  // a partial quad at the end is dropped
               {"YWJj\x80\xFF!YWJj", "abcabc", ""},
               {"YWJjY===", "abc", "Exception:Invalid input"},  // pad in the second place
               {"=", "", "Exception:Invalid input"}};
  for (const auto& c : cases) {
    TDecoded s = ByString(c.Text);
    EXPECT_EQ(s.Error, c.Error) << c.Text;
    if (s.Error.empty()) {
      EXPECT_EQ(s.Octets, c.Octets) << c.Text;
    }
    TDecoded b = ByStream(c.Text);
    EXPECT_EQ(b.Error, c.Error) << c.Text;
    EXPECT_EQ(b.Octets, c.Octets) << c.Text;
  }
  // Other encodings: quoted-printable, and the octets as they are.
  const std::string b64 = "aGVsbG8=", qp = "a=3Db";
  EXPECT_EQ(TransferDecode(b64.data(), 8, "Base64"), "hello");
  EXPECT_EQ(TransferDecode(qp.data(), 5, "Quoted-Printable"), "a=b");
  for (const char* raw : {"", "7bit", "8bit", "binary", "x-uuencode", " base64"})
    EXPECT_EQ(TransferDecode(b64.data(), 8, raw), b64) << raw;
}

// Long bodies: line layouts that break quads at every place, and a quad or
// a pad that straddles the pieces the stream decoder works in.
TEST(TransferDecode, long_base64_bodies_agree_with_the_stream_decoder) {
  const std::string octets = test::Random(100000);
  for (size_t lineLength : {76, 64, 4, 5, 6, 7, 77}) {
    for (const char* lineEnd : {"\r\n", "\n", " \t"}) {
      std::string text = Encode(octets, lineLength, lineEnd);
      TDecoded s = ByString(text);
      EXPECT_EQ(s.Error, "") << lineLength;
      EXPECT_TRUE(s.Octets == octets) << lineLength << " " << s.Octets.size();
      EXPECT_TRUE(ByStream(text).Octets == octets) << lineLength;
    }
  }
  // Junk moved across the stream decoder's piece boundary (16384 input
  // bytes), then a pad or a misplaced pad moved across it.
  const std::string flat = Encode(octets.substr(0, 13000), 1 << 20, "");
  for (size_t at = 16370; at < 16400; ++at) {
    std::string text = flat.substr(0, at) + "\r\n" + flat.substr(at);
    std::string padded = flat.substr(0, at - at % 4 + 2) + "==" + flat.substr(at);
    std::string badPad = flat.substr(0, at - at % 4 + 1) + "===" + flat.substr(at);
    for (const std::string* t : {&text, &padded, &badPad}) {
      TDecoded s = ByString(*t), b = ByStream(*t);
      EXPECT_EQ(s.Error, b.Error) << at;
      if (s.Error.empty()) {
        EXPECT_TRUE(s.Octets == b.Octets) << at;
      }
    }
    EXPECT_TRUE(ByString(text).Octets == octets.substr(0, 13000)) << at;
    EXPECT_EQ(ByStream(badPad).Error, "Exception:Invalid input") << at;
    EXPECT_EQ(ByStream(padded).Octets.size(), (at - at % 4) / 4 * 3 + 1) << at;
  }
}
