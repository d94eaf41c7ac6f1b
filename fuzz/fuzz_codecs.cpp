// Bytes from a stranger through the transfer decoders and through every
// registered charset: a reader reading unit by unit, the whole-string
// conversions that must agree with it, and a writer whose output must read
// back as what was written.
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "util/encodings/Base64.h"
#include "util/charsets/Charsets.h"
#include "util/charsets/Utf8Codec.h"
#include "util/text/HexText.h"
#include "util/encodings/QuotedPrintable.h"
#include "util/text/Text.h"

using namespace tessel;

namespace {

const char* const kCharsets[] = {"us-ascii",   "iso-8859-1",  "iso-8859-2",  "iso-8859-5", "iso-8859-7",
                                 "iso-8859-8", "iso-8859-11", "iso-8859-16", "cp-1250",    "windows-1250",
                                 "utf-8",      "utf-7",       "widestring",  "utf-16le",   "utf-16be",
                                 "",           "x-unknown"};
constexpr size_t kCharsetCount = sizeof(kCharsets) / sizeof(kCharsets[0]);

struct TDecoded {
  std::u16string Units;
  bool Failed = false;
  std::string Error;
};

// What a fresh reader over bytes yields, one unit per call until Eof.
TDecoded ReadUnits(const TCharReader& prototype, std::string_view bytes) {
  TDecoded result;
  std::unique_ptr<TCharReader> reader = prototype.Clone();
  TPointerStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
  reader->SetStream(&stream);
  reader->OwnsStream = false;
  try {
    // Every call consumes at least one byte or ends the input: a reader that
    // loops longer is stuck.
    for (size_t guard = 0; !reader->Eof(); ++guard) {
      FUZZ_CHECK(guard <= bytes.size() * 2 + 2, "reader yields units without consuming bytes");
      result.Units.push_back(reader->ReadChar());
    }
  } catch (const Exception& e) {
    result.Failed = true;
    result.Error = e.Message();
  }
  return result;
}

void CheckTransfer(std::string_view bytes) {
  int32_t size = static_cast<int32_t>(bytes.size());
  TStringStream a, b;
  std::string errorA, errorB;
  try {
    Base64DecodeString(bytes, a);
  } catch (const Exception& e) {
    errorA = e.Message();
  }
  try {
    Base64DecodeBuffer(bytes.data(), size, b);
  } catch (const Exception& e) {
    errorB = e.Message();
  }
  FUZZ_CHECK(a.DataString() == b.DataString() && errorA == errorB, "the two base64 decoders disagree");
  FUZZ_CHECK(a.DataString().size() <= bytes.size(), "base64 decoding grew the text");

  TText text(bytes.data(), size);
  TStringStream c;
  try {
    text.Decode(0, size, "BASE64", c);
  } catch (const Exception&) {
  }
  FUZZ_CHECK(c.DataString() == a.DataString(), "text base64 decoding differs");
  std::unique_ptr<TChainMemoryStream> chain;
  try {
    chain = text.Decode(-5, size + 5, "base64");
  } catch (const Exception&) {
  }

  TStringStream qp;
  QPDecodeBuffer(bytes.data(), size, qp);
  FUZZ_CHECK(qp.DataString().size() <= bytes.size(), "quoted-printable decoding grew the text");
  TStringStream qpText;
  text.Decode(0, size, "Quoted-Printable", qpText);
  FUZZ_CHECK(qpText.DataString() == qp.DataString(), "text quoted-printable decoding differs");
  std::unique_ptr<TChainMemoryStream> qpChain = text.DecodeQuotedPrintable(0, size);
  FUZZ_CHECK(qpChain->GetSize() == qp.GetSize(), "chained quoted-printable decoding differs");

  // Encoding round trip.
  TStringStream encoded;
  Base64EncodeBuffer(bytes.data(), size, encoded);
  TStringStream back;
  Base64DecodeString(encoded.DataString(), back);
  FUZZ_CHECK(back.DataString() == bytes, "base64 round trip lost bytes");
  FUZZ_CHECK(Base64Compare(encoded.DataString(), encoded.DataString()) == 0, "base64 text differs from itself");
  TPointerStream source(bytes.data(), size);
  FUZZ_CHECK(Base64Compare(Base64EncodeStream(source), encoded.DataString()) == 0, "the two base64 encoders disagree");

  TPointerStream hexSource(bytes.data(), size);
  std::string hex = StreamToHex(hexSource, ' ', 64, "...");
  (void)hex;
}

// Units the charset's writer is asked to write: what the reader gave, made
// writable (writers of Unicode forms take pairs, not lone surrogates; UTF-7
// drops a zero unit on reading).
std::u16string Writable(const std::string& name, const std::u16string& units, TCharWriter& writer) {
  std::u16string out;
  bool unicode = name == "utf-8" || name == "utf-7";
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t c = units[i];
    if (unicode && c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      out += c;
      out += units[++i];
      continue;
    }
    if (unicode && c >= 0xD800 && c <= 0xDFFF) continue;
    if (name == "utf-7" && c == 0) continue;
    if (!writer.CanWrite(c)) continue;
    out += c;
  }
  return out;
}

void CheckCharset(const std::string& name, std::string_view bytes) {
  std::unique_ptr<TCharReader> prototype = FindCharReader(name);
  if (!prototype) {
    FUZZ_CHECK(!CharsetToWide(name, bytes).has_value(), "conversion for an unregistered charset");
    return;
  }
  TDecoded read = ReadUnits(*prototype, bytes);

  std::u16string whole;
  bool wholeFailed = false;
  try {
    prototype->DecodeBytes(bytes, whole);
  } catch (const Exception& e) {
    wholeFailed = true;
    FUZZ_CHECK(e.Message() == read.Error, "whole-string decoding fails differently");
  }
  FUZZ_CHECK(wholeFailed == read.Failed, "whole-string decoding fails where the reader does not (or back)");
  FUZZ_CHECK(whole == read.Units, "whole-string decoding gives other units than the reader");

  std::string utf8;
  try {
    prototype->DecodeBytesUtf8(bytes, utf8);
    FUZZ_CHECK(!read.Failed, "UTF-8 decoding succeeds where the reader fails");
    FUZZ_CHECK(utf8 == WideToUtf8(read.Units), "UTF-8 decoding gives other text than the reader");
  } catch (const Exception& e) {
    FUZZ_CHECK(read.Failed && e.Message() == read.Error, "UTF-8 decoding fails differently");
  }
  try {
    std::optional<std::u16string> wide = CharsetToWide(name, bytes);
    FUZZ_CHECK(wide.has_value() && !read.Failed && *wide == read.Units, "CharsetToWide differs from the reader");
    std::optional<std::string> asUtf8 = CharsetToUtf8(name, bytes);
    FUZZ_CHECK(asUtf8.has_value() && *asUtf8 == WideToUtf8(read.Units), "CharsetToUtf8 differs from the reader");
  } catch (const Exception& e) {
    FUZZ_CHECK(read.Failed && e.Message() == read.Error, "CharsetToWide fails differently");
  }

  // The lenient reading never fails: clean exactly where the reader is,
  // then with the same text, and always text that reads back as UTF-8.
  std::string lenient = "<";
  std::optional<bool> clean = AppendCharsetLenientUtf8(name, bytes, lenient);
  FUZZ_CHECK(clean.has_value() && *clean == !read.Failed, "lenient reading disagrees on faults");
  if (*clean) {
    std::string shown = "<";
    AppendUtf8Lenient(read.Units.data(), read.Units.size(), shown);
    FUZZ_CHECK(lenient == shown, "lenient reading gives other text than the reader");
  }
  std::u16string readBack;
  try {
    TUTF8Reader().DecodeBytes(lenient, readBack);
  } catch (const Exception&) {
    FUZZ_CHECK(false, "lenient reading gives malformed UTF-8");
  }

  // Writer round trip.
  std::unique_ptr<TCharWriter> writer = FindCharWriter(name);
  FUZZ_CHECK(writer != nullptr, "registered charset without a writer");
  std::u16string units = Writable(name, read.Units, *writer);
  TStringStream out;
  writer->SetStream(&out);
  writer->OwnsStream = false;
  writer->WriteString(units);
  writer->Flush();
  writer.reset();
  TDecoded back = ReadUnits(*prototype, out.DataString());
  FUZZ_CHECK(!back.Failed, "written text does not read back");
  FUZZ_CHECK(back.Units == units, "written text reads back as other units");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 0x80)
    CheckTransfer(bytes);
  else
    CheckCharset(kCharsets[data[0] % kCharsetCount], bytes);
  return 0;
}
