// DER or BER from a stranger: the tree parser (and where it says it failed)
// and the rows the dump shows (always UTF-8),
// the streaming parser read to its end, the split into children, and the
// tree written out again (which must read back as the same tree).
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "asn1/AsnRows.h"
#include "asn1/AsnText.h"
#include "asn1/asn1.h"

using namespace tessel;

namespace {

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (n == 0 || s.size() - i < n) return false;
    uint32_t c = n == 1 ? b : b & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = c << 6 | (t & 0x3Fu);
    }
    if ((n == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)))
      return false;
    i += n;
  }
  return true;
}

std::string Encoding(const TAsnElem& element) {
  TBlobPtr blob = element.GetEncoded();
  FUZZ_CHECK(blob && blob->Size >= 0, "no encoding");
  FUZZ_CHECK(blob->Size == 0 || blob->Data != nullptr, "encoding without data");
  return std::string(reinterpret_cast<const char*>(blob->Data), static_cast<size_t>(blob->Size));
}

void CheckTree(const uint8_t* data, int32_t size) {
  int32_t used = -1;
  TAsnParseFailure failure;
  std::unique_ptr<TAsnElem> root = ParseAsn(data, size, &used, &failure);
  if (!root) {
    FUZZ_CHECK(failure.Offset >= 0 && failure.Offset <= size && !failure.Reason.empty(), "failure outside the input");
    return;
  }
  FUZZ_CHECK(failure.Offset < 0, "a tree and a failure");
  FUZZ_CHECK(used > 0 && used <= size, "used octets outside the input");

  size_t rows = 0;
  VisitAsnRows(*root, [&](const TAsnRow& row) {
    ++rows;
    FUZZ_CHECK(IsUtf8(row.Value), "row value is not UTF-8");
    const TAsnElem& e = *row.Element;
    if (!e.Constructed) FUZZ_CHECK(IsUtf8(AsnValueUtf8(e, 5)), "cut value is not UTF-8");
    (void)e.Describe();
    (void)e.ValueHex(16, ' ');
    (void)e.ValueText(16);
    FUZZ_CHECK(e.ContentLength() == static_cast<int32_t>(e.Content().size()), "content length differs from content");
  });
  FUZZ_CHECK(rows == AsnTreeRows(*root).size(), "row walks disagree");
  (void)root->EncodedBase64();

  std::string first = Encoding(*root);
  int32_t again = -1;
  std::unique_ptr<TAsnElem> reread = ParseAsn(first.data(), static_cast<int32_t>(first.size()), &again);
  FUZZ_CHECK(reread != nullptr, "written tree does not read back");
  FUZZ_CHECK(again == static_cast<int32_t>(first.size()), "written tree reads back shorter");
  FUZZ_CHECK(Encoding(*reread) == first, "written tree reads back as another tree");
  FUZZ_CHECK(AsnTreeRows(*reread).size() == rows, "written tree reads back with other rows");
}

void CheckStream(const uint8_t* data, int32_t size) {
  TPointerStream stream(data, size);
  TAsnParser parser(stream);
  try {
    int32_t last = stream.GetPosition();
    while (TAsnElem* e = parser.Next()) {
      int32_t position = stream.GetPosition();
      FUZZ_CHECK(position > last && e == parser.Last(), "streaming parser returned an element without reading it");
      FUZZ_CHECK(parser.Depth() <= kMaxAsnDepth, "streaming parser past its nesting cap");
      (void)e->Describe();
      last = position;
    }
  } catch (const EAsnParseError& e) {
    FUZZ_CHECK(e.Offset >= 0 && e.Offset < size, "streaming failure outside the input");
  } catch (const Exception&) {
  }
}

void CheckSplit(const uint8_t* data, int32_t size) {
  for (bool whole : {false, true}) {
    std::vector<TBlobPtr> list;
    SplitAsnChildren(data, list, size, whole);
    int64_t total = 0;
    for (const TBlobPtr& blob : list) {
      FUZZ_CHECK(blob && blob->Size >= 0 && blob->Size <= size, "child blob larger than the input");
      total += blob->Size;
    }
    FUZZ_CHECK(total <= size, "children larger than the input");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  int32_t n = static_cast<int32_t>(size);
  CheckTree(data, n);
  CheckStream(data, n);
  CheckSplit(data, n);
  return 0;
}
