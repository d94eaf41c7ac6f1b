// TAsnParser: the streaming reader, one element per call.
#include <limits>

#include "asn1/AsnHeader.h"
#include "asn1/asn1.h"
#include "util/system/Exception.h"

namespace tessel {

namespace {

// One octet, or -1 at the end of the stream.
int ReadOctet(TStream& stream) {
  uint8_t b;
  return stream.Read(&b, 1) == 1 ? b : -1;
}

int ReadOctetOrFail(TStream& stream, int32_t start) {
  int b = ReadOctet(stream);
  if (b < 0) throw EAsnParseError("Unexpected EOF", start);
  return b;
}

// A length no stream can satisfy ends like content cut off by the end of the
// stream: with the stream's read error text.
[[noreturn]] void LengthBeyondStream(int32_t start) { throw EAsnParseError("Stream read error", start); }

}  // namespace

TAsnElem* TAsnParser::Next() {
  for (;;) {
    TSeq* top = Open_.empty() ? nullptr : Open_.back();

    int32_t start = Stream_.GetPosition();
    int id = ReadOctet(Stream_);
    if (id < 0) return nullptr;
    uint8_t cls = static_cast<uint8_t>((id & 0xC0) >> 5);
    bool constructed = (id & 0x20) != 0;
    uint32_t tag = static_cast<uint32_t>(id & 0x1F);
    if (tag == 31) {
      while (ReadOctetOrFail(Stream_, start) & 0x80) {
      }
    }

    int first = ReadOctetOrFail(Stream_, start);
    bool indefinite = false;
    uint32_t length = 0;
    if (first < 0x80) {
      length = static_cast<uint32_t>(first);
    } else if (first == 0x80) {
      indefinite = true;
    } else {
      int n = first & 0x7F;
      if (n > 4) LengthBeyondStream(start);
      for (int i = 0; i < n; ++i) length = (length << 8) | static_cast<uint32_t>(ReadOctetOrFail(Stream_, start));
      if (length > 0x7FFFFFFFu) LengthBeyondStream(start);
    }
    int32_t pos = Stream_.GetPosition();

    TAsnElem* result = nullptr;
    int32_t depth = Depth();
    if (top && top->Indefinite && cls == 0 && tag == 0 && length == 0 && !indefinite) {
      Open_.pop_back();
    } else if (constructed) {
      if (Depth() >= kMaxAsnDepth) throw EAsnParseError("ASN.1 nesting too deep", start);
      // Like the tree parser's TSeq before its tag is set: SEQUENCE, universal.
      auto seq = std::make_unique<TSeq>();
      seq->Indefinite = indefinite;
      if (!indefinite) {
        int64_t endPos = int64_t(pos) + length;
        if (endPos > std::numeric_limits<int32_t>::max()) LengthBeyondStream(start);
        seq->EndPosition = static_cast<int32_t>(endPos);
      }
      Open_.push_back(seq.get());
      result = seq.get();
      Returned_.push_back(std::move(seq));
    } else {
      std::unique_ptr<TAsnElem> elem;
      if (tag == 6)
        elem = std::make_unique<TOID>(Stream_, static_cast<int32_t>(length));
      else
        elem = std::make_unique<TUnknown>(tag, cls, asn1::ReadContent(Stream_, static_cast<int32_t>(length)));
      result = elem.get();
      Returned_.push_back(std::move(elem));
    }

    // Close every definite-length element whose content is complete. A
    // position past the end (a child longer than its parent said) closes it
    // too, so that an end-of-contents marker further out is still recognised.
    if (!Open_.empty()) {
      int32_t now = Stream_.GetPosition();
      while (!Open_.empty() && !Open_.back()->Indefinite && now >= Open_.back()->EndPosition) Open_.pop_back();
    }

    if (result) {
      Last_ = result;
      LastDepth_ = depth;
      return result;
    }
    if (Open_.empty()) return nullptr;
  }
}

}  // namespace tessel
