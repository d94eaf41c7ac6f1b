#include "util/text/Text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "util/encodings/Base64.h"
#include "util/system/Exception.h"
#include "util/encodings/QuotedPrintable.h"
#include "util/text/StringUtils.h"

namespace tessel {

TText::TText(const char* data, int32_t length) {
  if (length > 0) Owned_.assign(data, static_cast<size_t>(length));
  Start_ = Owned_.data();
  Length_ = static_cast<int32_t>(Owned_.size());
  End_ = Limit_ = Start_ + Length_;
  OwnsData_ = true;
}

TText::TText(std::string&& data) {
  if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw Exception("Text too large");
  Owned_ = std::move(data);
  Start_ = Owned_.data();
  Length_ = static_cast<int32_t>(Owned_.size());
  End_ = Limit_ = Start_ + Length_;
  OwnsData_ = true;
}

std::unique_ptr<TText> TText::CreateSub(const TText& parent, int32_t offset, int32_t length) {
  std::unique_ptr<TText> sub(new TText());
  offset = std::clamp(offset, 0, parent.Length_);
  length = std::clamp(length, 0, parent.Length_ - offset);
  sub->Start_ = parent.Start_ + offset;
  sub->Length_ = length;
  sub->End_ = sub->Start_ + length;
  sub->Limit_ = parent.Limit_;
  return sub;
}

TText::~TText() = default;

TTextReader* TText::CreateReader() {
  Readers_.push_back(std::make_unique<TTextReader>(*this));
  return Readers_.back().get();
}

std::string_view TText::Slice(int32_t from, int32_t to) const {
  from = std::clamp(from, 0, Length_);
  to = std::clamp(to, from, Length_);
  return std::string_view(Start_ + from, static_cast<size_t>(to - from));
}

std::string TText::GetString(int32_t from, int32_t to) const { return std::string(Slice(from, to)); }

std::string_view TText::GetView(int32_t from, int32_t to) const { return Slice(from, to); }

void TText::DecodeBase64(int32_t from, int32_t to, TStream& stream) const {
  std::string_view s = Slice(from, to);
  Base64DecodeBuffer(s.data(), static_cast<int32_t>(s.size()), stream);
}

void TText::DecodeQuotedPrintable(int32_t from, int32_t to, TStream& stream) const {
  std::string_view s = Slice(from, to);
  QPDecodeBuffer(s.data(), static_cast<int32_t>(s.size()), stream);
}

void TText::CopyTo(int32_t from, int32_t to, TStream& stream) const {
  std::string_view s = Slice(from, to);
  stream.WriteBuffer(s.data(), static_cast<int32_t>(s.size()));
}

void TText::Decode(int32_t from, int32_t to, const std::string& encoding, TStream& stream) const {
  std::string name = LowerCase(encoding);
  if (name == "base64")
    DecodeBase64(from, to, stream);
  else if (name == "quoted-printable")
    DecodeQuotedPrintable(from, to, stream);
  else
    CopyTo(from, to, stream);
}

std::unique_ptr<TChainMemoryStream> TText::DecodeBase64(int32_t from, int32_t to) const {
  auto stream = std::make_unique<TChainMemoryStream>();
  DecodeBase64(from, to, *stream);
  return stream;
}

std::unique_ptr<TChainMemoryStream> TText::DecodeQuotedPrintable(int32_t from, int32_t to) const {
  auto stream = std::make_unique<TChainMemoryStream>();
  DecodeQuotedPrintable(from, to, *stream);
  return stream;
}

std::unique_ptr<TChainMemoryStream> TText::CopyTo(int32_t from, int32_t to) const {
  auto stream = std::make_unique<TChainMemoryStream>();
  CopyTo(from, to, *stream);
  return stream;
}

std::unique_ptr<TChainMemoryStream> TText::Decode(int32_t from, int32_t to, const std::string& encoding) const {
  auto stream = std::make_unique<TChainMemoryStream>();
  Decode(from, to, encoding, *stream);
  return stream;
}

TTextReader::TTextReader(TText& text) : Current(text.Start_), Base(text.Start_), Text(&text) {}

void TTextReader::GoToEnd() { Current = Base + Text->Length_; }

namespace {

// Keeps a position inside the readable block: from the text's first byte to
// the NUL that closes the whole block. Positions are only ever outside it
// through a caller's mistake, and reading there would leave the block.
const char* Inside(const char* p, const TText& text, const char* limit) {
  std::less<const char*> before;
  if (before(p, text.Start())) return text.Start();
  if (before(limit, p)) return limit;
  return p;
}

}  // namespace

bool TTextReader::Match(std::string_view s, bool advance) {
  const char* limit = Text->Limit_;
  const char* p = Inside(Current, *Text, limit);
  if (p != Current) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    // A NUL in the text differs from any other byte of s, so the loop never
    // reads past the block's closing NUL.
    if (p[i] != s[i]) return false;
    if (s[i] == '\0') break;
  }
  if (advance) Current = p + std::min<size_t>(s.size(), static_cast<size_t>(limit - p));
  return true;
}

bool TTextReader::SearchFor(std::string_view s, int32_t delta) {
  // The step back (the MIME parser goes back over a CR LF it has read) stops
  // at the start of the text: never before the block.
  const char* start = Text->Start_;
  const char* limit = Text->Limit_;
  int64_t offset = int64_t(Inside(Current, *Text, limit) - start) + delta;
  offset = std::clamp<int64_t>(offset, 0, limit - start);
  Current = start + offset;

  std::less<const char*> before;
  if (!s.empty() && before(Current, Text->End_) && static_cast<size_t>(Text->End_ - Current) >= s.size()) {
    const void* hit = ::memmem(Current, static_cast<size_t>(Text->End_ - Current), s.data(), s.size());
    if (hit) {
      Current = static_cast<const char*>(hit);
      return true;
    }
  }
  // Not found: stop at the next NUL, the block's closing one at the latest.
  Current = static_cast<const char*>(std::memchr(Current, '\0', static_cast<size_t>(limit - Current) + 1));
  return false;
}

void TTextReader::ReadLine(std::string& line) {
  const char* limit = Text->Limit_;
  const char* p = Inside(Current, *Text, limit);
  size_t avail = static_cast<size_t>(limit - p);
  const char* cr = static_cast<const char*>(std::memchr(p, '\r', avail));
  const char* stop = cr ? cr : limit;
  const char* nul = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(stop - p)));
  if (nul || !cr) {
    // Only a NUL (the closing one at the latest) ends this line.
    const char* e = nul ? nul : limit;
    line.assign(p, static_cast<size_t>(e - p));
    Current = e;
    Eof = true;
    return;
  }
  line.assign(p, static_cast<size_t>(cr - p));
  Current = cr + 1;
  if (*Current == '\n') ++Current;
  Eof = *Current == '\0';
}

}  // namespace tessel
