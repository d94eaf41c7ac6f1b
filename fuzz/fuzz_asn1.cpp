// DER or BER from a stranger: the tree parser and the rows the dump shows,
// the streaming parser read to its end, the split into children, and the
// tree written out again (which must read back as the same tree).
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "asn1/AsnRows.h"
#include "asn1/asn1.h"

using namespace tessel;

namespace {

std::string Encoding(const TAsnElem& element) {
  TBlobPtr blob = element.GetEncoded();
  FUZZ_CHECK(blob && blob->Size >= 0, "no encoding");
  FUZZ_CHECK(blob->Size == 0 || blob->Data != nullptr, "encoding without data");
  return std::string(reinterpret_cast<const char*>(blob->Data), static_cast<size_t>(blob->Size));
}

void CheckTree(const uint8_t* data, int32_t size) {
  int32_t used = -1;
  std::unique_ptr<TAsnElem> root = ParseAsn(data, size, &used);
  if (!root) return;
  FUZZ_CHECK(used > 0 && used <= size, "used octets outside the input");

  size_t rows = 0;
  VisitAsnRows(*root, [&](const TAsnRow& row) {
    ++rows;
    std::string text = row.Text();
    (void)text;
    const TAsnElem& e = *row.Element;
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
