// Helpers shared by the ASN.1 tests.
#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "asn1/asn1.h"
#include "util/streams/MemoryStream.h"

namespace tessel::test {

// "30 03 02 01 05" -> the five octets; anything but hex digits is ignored.
inline std::string Hex(const std::string& text) {
  std::string out, digits;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return out;
}

inline std::string ToHex(std::string_view octets) {
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

// The file's bytes, "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// NULL inside levels SEQUENCEs of indefinite length.
inline std::string NestedIndefinite(int levels) {
  std::string open, close;
  for (int i = 0; i < levels; ++i) open += "\x30\x80", close += std::string(2, '\0');
  return open + std::string("\x05\x00", 2) + close;
}

}  // namespace tessel::test
