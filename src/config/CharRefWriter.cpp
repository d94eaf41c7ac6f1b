#include "config/CharRefWriter.h"

#include "xml/XmlChars.h"
#include "util/text/HexText.h"

namespace tessel {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

TCharRefWriter::TCharRefWriter(std::unique_ptr<TCharWriter> inner) : Inner_(std::move(inner)) { Name = Inner_->Name; }

TCharRefWriter::~TCharRefWriter() = default;

std::unique_ptr<TCharWriter> TCharRefWriter::Clone() const { return std::make_unique<TCharRefWriter>(Inner_->Clone()); }

bool TCharRefWriter::CanWrite(char16_t c) { return IsXmlChar(c) && Inner_->CanWrite(c); }

void TCharRefWriter::WriteReference(char16_t code) {
  char buf[16];
  int n = 0;
  do {
    buf[n++] = HexDigit(code);
    code >>= 4;
  } while (code);
  Inner_->WriteChar(u'&');
  Inner_->WriteChar(u'#');
  Inner_->WriteChar(u'x');
  while (n > 0) Inner_->WriteChar(static_cast<char16_t>(buf[--n]));
  Inner_->WriteChar(u';');
}

void TCharRefWriter::WriteCode(char32_t code) {
  // Our parser reads neither surrogates nor references beyond U+FFFF, so a
  // character outside the Basic Multilingual Plane would make the whole file
  // unreadable; it is the one character lost instead.
  char16_t c = code > 0xFFFF ? kReplacement : static_cast<char16_t>(code);
  if (!IsXmlChar(c)) c = kReplacement;
  if (Inner_->CanWrite(c))
    Inner_->WriteChar(c);
  else
    WriteReference(c);
}

void TCharRefWriter::WriteChar(char16_t c) {
  if (PendingHigh_) {
    char16_t high = PendingHigh_;
    PendingHigh_ = 0;
    if (IsLow(c)) {
      WriteCode(0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (c - 0xDC00));
      return;
    }
    WriteCode(kReplacement);
  }
  if (IsHigh(c)) {
    PendingHigh_ = c;
    return;
  }
  WriteCode(c);
}

void TCharRefWriter::Flush() {
  if (PendingHigh_) {
    PendingHigh_ = 0;
    WriteCode(kReplacement);
  }
  Inner_->Flush();
}

}  // namespace tessel
