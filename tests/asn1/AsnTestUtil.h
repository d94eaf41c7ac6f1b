// Helpers shared by the ASN.1 tests.
#pragma once

#include <cctype>
#include <memory>
#include <string>

#include "asn1/asn1.h"
#include "util/MemoryStream.h"

namespace tessel::test {

// "30 03 02 01 05" -> the five octets; blanks are ignored.
inline std::string Hex(const std::string& text) {
  std::string out;
  int high = -1;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  return out;
}

// Upper-case hex with blanks, for readable comparisons.
inline std::string ToHex(const std::string& octets) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : octets) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
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

}  // namespace tessel::test
