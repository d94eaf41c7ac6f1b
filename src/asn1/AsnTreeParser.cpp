// The recursive tree parser over a memory block, and SplitAsnChildren.
#include <cstddef>
#include <string>

#include "asn1/AsnHeader.h"
#include "asn1/asn1.h"

namespace tessel {

namespace {

using asn1::THeader;
using asn1::THeaderStatus;

enum class TOutcome {
  Element,        // an element was read
  EndOfContents,  // the end-of-contents marker of the enclosing indefinite element
  Malformed,
};

// Number of elements between p and end as far as their headers tell (an
// indefinite length or a header that does not fit ends the count), so that
// a constructed element allocates its list of children once.
size_t CountChildren(const uint8_t* p, const uint8_t* end) {
  size_t n = 0;
  THeader h;
  while (p < end && asn1::ReadHeader(p, end, h) == THeaderStatus::Ok && !h.Indefinite &&
         h.Length <= end - p - h.HeaderSize) {
    p += h.HeaderSize + h.Length;
    ++n;
  }
  return n;
}

// Where the parse started, and the first (innermost) failure met.
struct TParseContext {
  const uint8_t* Start;
  TAsnParseFailure* Failure;

  std::nullptr_t Fail(const uint8_t* at, std::string reason) const {
    if (Failure && Failure->Offset < 0) {
      Failure->Offset = static_cast<int32_t>(at - Start);
      Failure->Reason = std::move(reason);
    }
    return nullptr;
  }
};

// Reads one element at p (advancing it) from the octets before end. depth is
// the nesting level of the element, 1 for the outermost.
std::unique_ptr<TAsnElem> Parse(const TParseContext& ctx, const uint8_t*& p, const uint8_t* end, bool insideIndefinite,
                                int32_t depth, TOutcome& outcome) {
  outcome = TOutcome::Malformed;
  const uint8_t* start = p;
  THeader h;
  switch (asn1::ReadHeader(p, end, h)) {
    case THeaderStatus::Ok: break;
    case THeaderStatus::Truncated: return ctx.Fail(start, "identifier or length octets cut off");
    case THeaderStatus::BadLength: return ctx.Fail(start, "length of 2^31 octets or more");
  }
  p += h.HeaderSize;
  if (insideIndefinite && h.Class == 0 && h.Tag == 0 && h.Length == 0) {
    outcome = TOutcome::EndOfContents;
    return nullptr;
  }
  if (depth > kMaxAsnDepth) return ctx.Fail(start, "nested deeper than " + std::to_string(kMaxAsnDepth) + " levels");
  if (h.Length > end - p)
    return ctx.Fail(start, "length " + std::to_string(h.Length) + " exceeds the " + std::to_string(end - p) +
                               " octets that remain");

  std::unique_ptr<TAsnElem> elem;
  if (h.Constructed) {
    auto seq = std::make_unique<TSeq>();
    TOutcome child;
    if (!h.Indefinite) {
      const uint8_t* childEnd = p + h.Length;
      seq->Reserve(CountChildren(p, childEnd));
      while (p < childEnd) {
        auto c = Parse(ctx, p, childEnd, false, depth + 1, child);
        if (!c) return nullptr;
        seq->Add(std::move(c));
      }
    } else {
      // Children run to the end-of-contents marker; running out of octets
      // before it means the element was cut off.
      for (;;) {
        if (p >= end) return ctx.Fail(p, "end-of-contents octets missing");
        auto c = Parse(ctx, p, end, true, depth + 1, child);
        if (child == TOutcome::EndOfContents) break;
        if (!c) return nullptr;
        seq->Add(std::move(c));
      }
    }
    seq->Tag = h.Tag;
    elem = std::move(seq);
  } else {
    if (h.Tag == 2)
      elem = std::make_unique<TInt>(p, h.Length);
    else if (h.Tag == 6)
      elem = std::make_unique<TOID>(p, h.Length);
    else
      elem = std::make_unique<TUnknown>(h.Tag, h.Class,
                                        std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(h.Length)));
    p += h.Length;
  }
  elem->Class = h.Class;
  outcome = TOutcome::Element;
  return elem;
}

// Total size of the indefinite-length element whose content starts at p (its
// header already read), up to and including its end-of-contents marker; -1
// when it is malformed, cut off or nested too deeply.
int64_t IndefiniteContentSize(const uint8_t* p, const uint8_t* end, int32_t depth) {
  const uint8_t* start = p;
  for (;;) {
    THeader h;
    if (asn1::ReadHeader(p, end, h) != THeaderStatus::Ok) return -1;
    p += h.HeaderSize;
    if (h.Class == 0 && h.Tag == 0 && h.Length == 0 && !h.Indefinite) return p - start;
    if (depth > kMaxAsnDepth) return -1;
    if (h.Indefinite) {
      if (!h.Constructed) return -1;
      int64_t inner = IndefiniteContentSize(p, end, depth + 1);
      if (inner < 0) return -1;
      p += inner;
    } else {
      if (h.Length > end - p) return -1;
      p += h.Length;
    }
  }
}

void AddBlob(std::vector<TBlobPtr>& list, const uint8_t* data, int64_t size) {
  list.push_back(NewBlob(data, static_cast<int32_t>(size)));
}

}  // namespace

std::unique_ptr<TAsnElem> ParseAsn(const void* data, int32_t size, int32_t* used, TAsnParseFailure* failure) {
  if (used) *used = 0;
  if (failure) *failure = TAsnParseFailure();
  if (!data || size <= 0) {
    if (failure) *failure = {0, "no octets"};
    return nullptr;
  }
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint8_t* start = p;
  TOutcome outcome;
  auto root = Parse(TParseContext{start, failure}, p, start + size, false, 1, outcome);
  if (root && used) *used = static_cast<int32_t>(p - start);
  return root;
}

std::unique_ptr<TAsnElem> ParseAsnBlob(const Blob& blob) { return ParseAsn(blob.Data, blob.Size); }

void SplitAsnChildren(const void* data, std::vector<TBlobPtr>& list, int32_t size, bool wholeConstructed) {
  if (!data || size <= 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint8_t* end = p + size;
  THeader outer;
  if (asn1::ReadHeader(p, end, outer) != THeaderStatus::Ok) return;
  p += outer.HeaderSize;
  if (outer.Length > end - p) return;
  if (!outer.Constructed) {
    AddBlob(list, p, outer.Length);
    return;
  }
  // The children are those inside the outer element's content; for an
  // indefinite length they run to its end-of-contents marker.
  const uint8_t* contentEnd = outer.Indefinite ? end : p + outer.Length;
  while (p < contentEnd) {
    const uint8_t* childStart = p;
    THeader h;
    if (asn1::ReadHeader(p, contentEnd, h) != THeaderStatus::Ok) return;
    p += h.HeaderSize;
    if (outer.Indefinite && h.Class == 0 && h.Tag == 0 && h.Length == 0 && !h.Indefinite) return;
    int64_t contentSize = h.Length;
    int64_t eocSize = 0;
    if (h.Indefinite) {
      if (!h.Constructed) return;
      int64_t inner = IndefiniteContentSize(p, contentEnd, 3);
      if (inner < 0) return;
      contentSize = inner - 2;
      eocSize = 2;
    } else if (h.Length > contentEnd - p) {
      return;
    }
    if (wholeConstructed && h.Constructed)
      AddBlob(list, childStart, (p - childStart) + contentSize + eocSize);
    else
      AddBlob(list, p, contentSize);
    p += contentSize + eocSize;
  }
}

}  // namespace tessel
