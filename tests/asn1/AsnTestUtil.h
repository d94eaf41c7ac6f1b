// Helpers shared by the ASN.1 tests.
#pragma once

#include <memory>
#include <string>

#include "asn1/asn1.h"
#include "support/TestSupport.h"
#include "util/streams/MemoryStream.h"

namespace tessel::test {

// Upper-case hex with a blank between the octets, as rows show them.
inline std::string HexDump(std::string_view octets) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : octets) out += (out.empty() ? "" : " ") + std::string{digits[c >> 4], digits[c & 15]};
  return out;
}

inline std::unique_ptr<TAsnElem> Parse(const std::string& octets) {
  return ParseAsn(octets.data(), static_cast<int32_t>(octets.size()));
}

inline std::string Encode(const TAsnElem& e) {
  TStringStream s;
  e.WriteTo(s);
  return s.DataString();
}

// NULL inside levels SEQUENCEs of indefinite length.
inline std::string NestedIndefinite(int levels) {
  std::string open, close;
  for (int i = 0; i < levels; ++i) open += "\x30\x80", close += std::string(2, '\0');
  return open + std::string("\x05\x00", 2) + close;
}

}  // namespace tessel::test
