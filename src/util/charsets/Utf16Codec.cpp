#include "util/charsets/Utf16Codec.h"

#include "util/charsets/Utf8Codec.h"

namespace tessel {

std::unique_ptr<TCharReader> TUTF16Reader::Clone() const { return std::make_unique<TUTF16Reader>(Name, BigEndian); }

char16_t TUTF16Reader::ReadChar() {
  uint8_t b[2];
  int32_t got = Stream ? Stream->Read(b, 2) : 0;
  if (got == 0) return 0;
  if (got == 1) throw EIllegalChar("Illegal character");
  return BigEndian ? static_cast<char16_t>(b[0] << 8 | b[1]) : static_cast<char16_t>(b[1] << 8 | b[0]);
}

void TUTF16Reader::DecodeBytes(std::string_view bytes, std::u16string& out) const {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t units = bytes.size() / 2;
  size_t base = out.size();
  out.resize(base + units);
  char16_t* q = out.data() + base;
  for (size_t i = 0; i < units; ++i, p += 2)
    q[i] = BigEndian ? static_cast<char16_t>(p[0] << 8 | p[1]) : static_cast<char16_t>(p[1] << 8 | p[0]);
  if (bytes.size() % 2) throw EIllegalChar("Illegal character");
}

bool TUTF16Reader::DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const {
  std::u16string units;
  units.reserve(bytes.size() / 2 + 1);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units += BigEndian ? static_cast<char16_t>(p[i] << 8 | p[i + 1]) : static_cast<char16_t>(p[i + 1] << 8 | p[i]);
  bool odd = bytes.size() % 2 != 0;
  if (odd) units += u'\xFFFD';
  AppendUtf8Lenient(units.data(), units.size(), out);
  return !odd;
}

std::unique_ptr<TCharWriter> TUTF16Writer::Clone() const { return std::make_unique<TUTF16Writer>(Name, BigEndian); }

void TUTF16Writer::WriteChar(char16_t c) {
  uint8_t b[2];
  if (BigEndian) {
    b[0] = static_cast<uint8_t>(c >> 8);
    b[1] = static_cast<uint8_t>(c);
  } else {
    b[0] = static_cast<uint8_t>(c);
    b[1] = static_cast<uint8_t>(c >> 8);
  }
  WriteBytes(b, 2);
}

}  // namespace tessel
