// One header line from a stranger: decoded as the parser decodes every
// header line, its value read as a content header with parameters, and
// split the way address and parameter lists are split.
#include <string>

#include "FuzzSupport.h"
#include "mime/FieldList.h"
#include "mime/HeaderDecoding.h"
#include "mime/Parameters.h"
#include "util/charsets/Charsets.h"
#include "util/text/StringUtils.h"

using namespace tessel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the SplitQuoted limit; the rest is the line.
  int32_t maximum = static_cast<int32_t>(data[0] % 6) - 1;
  std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

  THeaderProblems problems;
  std::string decoded = DecodeHeaderLine(line, &problems);
  // Header data is UTF-8 up to its first NUL (Utf8ToWide stops there).
  try {
    (void)Utf8ToWide(decoded);
  } catch (const Exception&) {
    FUZZ_CHECK(false, "decoded header line is not UTF-8");
  }

  std::string name = line, value;
  size_t colon = line.find(':');
  if (colon != std::string::npos) {
    name = line.substr(0, colon);
    value = decoded.substr(decoded.find(':') == std::string::npos ? decoded.size() : decoded.find(':') + 1);
  }
  TFieldList params;
  ParseParameters(params, name, value);
  ParseParameters(params, "content-disposition", line);

  for (std::string_view separators : {",", ";", ", \t"}) {
    TStringListX items = SplitQuoted(line, separators, "\"", maximum);
    if (maximum >= 2) FUZZ_CHECK(static_cast<int32_t>(items.size()) <= maximum, "more items than the limit");
    if (maximum == 1) FUZZ_CHECK(items.size() == 1 && items[0] == line, "limit 1 is not the text itself");
    if (maximum <= 0)
      for (const std::string& item : items) FUZZ_CHECK(!item.empty(), "empty item");
  }

  std::string q;
  QDecode(line, q);
  FUZZ_CHECK(q.size() <= line.size(), "Q decoding grew the text");
  return 0;
}
