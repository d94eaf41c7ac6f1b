#include "smime/cms/AsnQuery.h"

#include <charconv>
#include <string>

#include "asn1/oid.h"
#include "util/system/Exception.h"

namespace tessel {

namespace {

struct TStep {
  enum TKind { kOid, kIndex, kAll } Kind;
  std::string_view Oid;
  int64_t Index = 0;
};

TStep ParseStep(std::string_view text) {
  if (text.empty()) throw Exception("Invalid part:\"\"");
  if (text[0] != '[') return TStep{TStep::kOid, text};
  if (text == "[*]") return TStep{TStep::kAll, {}};
  // The brackets are dropped whatever they are; what stays must be a
  // decimal integer.
  std::string_view number = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string_view();
  int64_t value = 0;
  std::string_view digits = number;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value > INT32_MAX ||
      value < INT32_MIN)
    throw Exception("'" + std::string(number) + "' is not a valid integer value");
  return TStep{TStep::kIndex, {}, value};
}

std::vector<TStep> ParsePath(std::string_view path) {
  std::vector<TStep> steps;
  if (path.empty()) return steps;
  size_t start = 0;
  while (true) {
    size_t slash = path.find('/', start);
    steps.push_back(ParseStep(path.substr(start, slash == std::string_view::npos ? slash : slash - start)));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return steps;
}

void ApplyStep(const TStep& step, TAsnElem* element, std::vector<TAsnElem*>& out) {
  int32_t count = element->Count();
  switch (step.Kind) {
    case TStep::kOid:
      if (count > 0 && AsnOidText(element->Items(0)) == step.Oid) out.push_back(element);
      break;
    case TStep::kIndex:
      if (count > 0) {
        // A true modulus: an index below -count wraps round like one past
        // the end does.
        int64_t i = (count + step.Index) % count;
        if (i < 0) i += count;
        if (TAsnElem* child = element->Items(static_cast<int32_t>(i))) out.push_back(child);
      }
      break;
    case TStep::kAll:
      for (int32_t i = 0; i < count; ++i)
        if (TAsnElem* child = element->Items(i)) out.push_back(child);
      break;
  }
}

}  // namespace

std::string AsnOidText(const TAsnElem* element) {
  if (!element || element->Constructed || element->Class != acUniversal || element->Tag != 6) return std::string();
  if (auto oid = dynamic_cast<const TOID*>(element)) return oid->Dotted();
  return OidToDotted(element->Content());
}

std::vector<TAsnElem*> AsnQuery(TAsnElem* root, std::string_view path) {
  std::vector<TStep> steps = ParsePath(path);
  std::vector<TAsnElem*> selected;
  if (!root) return selected;
  selected.push_back(root);
  // Step by step over the whole selection: mapping each element to its
  // ordered results and concatenating keeps the order a recursive walk
  // gives.
  for (const TStep& step : steps) {
    std::vector<TAsnElem*> next;
    for (TAsnElem* element : selected) ApplyStep(step, element, next);
    selected.swap(next);
    if (selected.empty()) break;
  }
  return selected;
}

}  // namespace tessel
