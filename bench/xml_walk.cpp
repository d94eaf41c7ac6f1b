// Parses an XML file with event handlers that only count, and prints
// elements=N attributes=N chars=N (chars: UTF-16 units of character data).
#include <chrono>
#include <cstdio>
#include <cstring>

#include "xml/KeyText.h"
#include "xml/QXMLParser.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xml_walk FILE [--time]\n");
    return 2;
  }
  using namespace tessel;
  long long elements = 0, attributes = 0, chars = 0;
  TQXMLParser parser;
  parser.Events.StartElement = [&](const TQName&, const TAttrList* a) {
    ++elements;
    if (a) attributes += a->Count();
  };
  parser.Events.Characters = [&](TWStringBuf& text) { chars += text.Length; };
  auto start = std::chrono::steady_clock::now();
  try {
    parser.ParseFile(WideFromKey(argv[1]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "xml_walk: %s\n", e.what());
    return 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("elements=%lld attributes=%lld chars=%lld\n", elements, attributes, chars);
  if (argc > 2 && std::strcmp(argv[2], "--time") == 0) std::fprintf(stderr, "%.3f s\n", seconds);
  return 0;
}
