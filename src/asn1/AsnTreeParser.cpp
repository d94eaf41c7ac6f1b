// The tree parser over a memory block, its walk without a tree, and
// SplitAsnChildren.
#include <cstddef>
#include <string>
#include <vector>

#include "asn1/AsnHeader.h"
#include "asn1/asn1.h"

namespace tessel {

namespace {

using asn1::THeader;
using asn1::THeaderStatus;

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

// Reads the first element of the block with all its descendants, telling the
// visitor (when given) of each in document order. Iterative, with one frame
// per open constructed element, so that it costs no call per element.
//
// Failures are those of the element that could not be read, the innermost:
// the walk stops there. A child of an indefinite-length element may run to
// the end its parent was given; the end-of-contents marker (class 0, tag 0,
// length 0) closes the parent and is no element of its own.
bool Walk(const uint8_t* start, const uint8_t* blockEnd, TAsnVisitor* visitor, int32_t* used,
          TAsnParseFailure* failure) {
  auto fail = [&](const uint8_t* at, std::string reason) {
    if (failure) {
      failure->Offset = static_cast<int32_t>(at - start);
      failure->Reason = std::move(reason);
    }
    return false;
  };
  struct TFrame {
    const uint8_t* End;  // of the content, or for an indefinite length the end its children may run to
    bool Indefinite;
  };
  TFrame frames[kMaxAsnDepth + 1];
  int32_t open = 0;  // frames in use: the depth of the next element is open + 1
  const uint8_t* p = start;
  for (;;) {
    // The next element: the root, or the next child of the innermost open
    // element, which closes when its content is complete.
    const uint8_t* end = blockEnd;
    bool insideIndefinite = false;
    if (open > 0) {
      const TFrame& top = frames[open - 1];
      end = top.End;
      insideIndefinite = top.Indefinite;
      if (!insideIndefinite && p >= end) {
        --open;
        if (open == 0) break;
        continue;
      }
      if (insideIndefinite && p >= end) return fail(p, "end-of-contents octets missing");
    }
    const uint8_t* elementStart = p;
    THeader h;
    switch (asn1::ReadHeader(p, end, h)) {
      case THeaderStatus::Ok: break;
      case THeaderStatus::Truncated: return fail(elementStart, "identifier or length octets cut off");
      case THeaderStatus::BadLength: return fail(elementStart, "length of 2^31 octets or more");
    }
    p += h.HeaderSize;
    if (insideIndefinite && h.Class == 0 && h.Tag == 0 && h.Length == 0) {
      --open;
      if (open == 0) break;
      continue;
    }
    if (open >= kMaxAsnDepth)
      return fail(elementStart, "nested deeper than " + std::to_string(kMaxAsnDepth) + " levels");
    if (h.Length > end - p)
      return fail(elementStart, "length " + std::to_string(h.Length) + " exceeds the " + std::to_string(end - p) +
                                    " octets that remain");
    if (visitor) {
      std::string_view content;
      if (!h.Indefinite) content = std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(h.Length));
      visitor->Visit(TAsnItem{open, h.Class, h.Constructed, h.Tag, h.Indefinite, content});
    }
    if (h.Constructed) {
      frames[open++] = TFrame{h.Indefinite ? end : p + h.Length, h.Indefinite};
      continue;
    }
    p += h.Length;
    if (open == 0) break;
  }
  if (used) *used = static_cast<int32_t>(p - start);
  return true;
}

bool WalkFirst(const void* data, int32_t size, TAsnVisitor* visitor, int32_t* used, TAsnParseFailure* failure) {
  if (used) *used = 0;
  if (failure) *failure = TAsnParseFailure();
  if (!data || size <= 0) {
    if (failure) *failure = {0, "no octets"};
    return false;
  }
  const uint8_t* start = static_cast<const uint8_t*>(data);
  return Walk(start, start + size, visitor, used, failure);
}

// Builds the tree from the walk: each element goes to the innermost open
// constructed element above its depth.
class TTreeBuilder : public TAsnVisitor {
public:
  void Visit(const TAsnItem& item) override {
    Open_.resize(static_cast<size_t>(item.Depth));
    std::unique_ptr<TAsnElem> elem;
    TSeq* seq = nullptr;
    const auto* p = reinterpret_cast<const uint8_t*>(item.Content.data());
    auto size = static_cast<int32_t>(item.Content.size());
    if (item.Constructed) {
      auto made = std::make_unique<TSeq>();
      made->Tag = item.Tag;
      if (!item.Indefinite) made->Reserve(CountChildren(p, p + size));
      seq = made.get();
      elem = std::move(made);
    } else if (item.Tag == 2) {
      elem = std::make_unique<TInt>(p, size);
    } else if (item.Tag == 6) {
      elem = std::make_unique<TOID>(p, size);
    } else {
      elem = std::make_unique<TUnknown>(item.Tag, item.Class, std::string(item.Content));
    }
    elem->Class = item.Class;
    if (Open_.empty())
      Root = std::move(elem);
    else
      Open_.back()->Add(std::move(elem));
    if (seq) Open_.push_back(seq);
  }

  std::unique_ptr<TAsnElem> Root;

private:
  std::vector<TSeq*> Open_;
};

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
  TTreeBuilder builder;
  if (!WalkFirst(data, size, &builder, used, failure)) return nullptr;
  return std::move(builder.Root);
}

bool CheckAsn(const void* data, int32_t size, int32_t* used, TAsnParseFailure* failure) {
  return WalkFirst(data, size, nullptr, used, failure);
}

void VisitCheckedAsn(const void* data, int32_t size, TAsnVisitor& visitor) {
  WalkFirst(data, size, &visitor, nullptr, nullptr);
}

bool VisitAsn(const void* data, int32_t size, TAsnVisitor& visitor, int32_t* used, TAsnParseFailure* failure) {
  // The first pass proves the element whole, so that the visitor sees all of
  // it or nothing, as ParseAsn gives a whole tree or none.
  if (!WalkFirst(data, size, nullptr, used, failure)) return false;
  return WalkFirst(data, size, &visitor, nullptr, nullptr);
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
