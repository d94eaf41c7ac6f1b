#include "util/charsets/EightBitCodec.h"

#include <algorithm>
#include <cstring>

namespace tessel {

namespace {

std::shared_ptr<const T8bitReader::TUtf8Forms> MakeUtf8Forms(const std::array<char16_t, 256>& table) {
  auto forms = std::make_shared<T8bitReader::TUtf8Forms>();
  for (int b = 0; b < 256; ++b) {
    uint32_t c = table[static_cast<size_t>(b)];
    T8bitReader::TUtf8Form& f = (*forms)[static_cast<size_t>(b)];
    std::memset(&f, 0, sizeof f);
    if (c == 0) continue;
    if (c < 0x80) {
      f.Bytes[0] = static_cast<char>(c);
      f.Length = 1;
    } else if (c < 0x800) {
      f.Bytes[0] = static_cast<char>(0xC0 | c >> 6);
      f.Bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      f.Length = 2;
    } else {
      f.Bytes[0] = static_cast<char>(0xE0 | c >> 12);
      f.Bytes[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      f.Bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      f.Length = 3;
    }
  }
  return forms;
}

[[noreturn]] void ThrowUnreadable() { throw EIllegalChar(""); }

}  // namespace

// --- reader -----------------------------------------------------------------

T8bitReader::T8bitReader(const std::string& name, const char16_t* toUnicode) {
  Name = name;
  std::copy(toUnicode, toUnicode + 256, ToUnicode.begin());
  Utf8Forms_ = MakeUtf8Forms(ToUnicode);
}

T8bitReader::T8bitReader(const T8bitReader& other, int) : ToUnicode(other.ToUnicode), Utf8Forms_(other.Utf8Forms_) {
  Name = other.Name;
}

std::unique_ptr<TCharReader> T8bitReader::Clone() const {
  return std::unique_ptr<TCharReader>(new T8bitReader(*this, 0));
}

char16_t T8bitReader::ReadChar() {
  uint8_t b;
  if (!ReadByte(b)) return 0;
  char16_t c = ToUnicode[b];
  if (c == 0) ThrowUnreadable();
  return c;
}

void T8bitReader::DecodeBytes(std::string_view bytes, std::u16string& out) const {
  size_t base = out.size();
  size_t n = bytes.size();
  out.resize(base + n);
  char16_t* q = out.data() + base;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i < n; ++i) {
    char16_t c = ToUnicode[p[i]];
    if (c == 0) {
      out.resize(base + i);
      ThrowUnreadable();
    }
    q[i] = c;
  }
}

void T8bitReader::DecodeBytesUtf8(std::string_view bytes, std::string& out) const {
  const TUtf8Forms& forms = *Utf8Forms_;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto* end = p + bytes.size();
  // The exact length first, so that the output is allocated and touched once.
  size_t len = 0;
  for (const uint8_t* s = p; s < end; ++s) len += forms[*s].Length;
  size_t base = out.size();
  // Each form is copied as 4 bytes (3 + its length), hence 3 bytes of slack.
  out.resize(base + len + 3);
  char* q = out.data() + base;
  for (; p < end; ++p) {
    const TUtf8Form& f = forms[*p];
    if (f.Length == 0) {
      out.resize(static_cast<size_t>(q - out.data()));
      ThrowUnreadable();
    }
    std::memcpy(q, &f, 4);
    q += f.Length;
  }
  out.resize(base + len);
}

bool T8bitReader::DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const {
  const TUtf8Forms& forms = *Utf8Forms_;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto* end = p + bytes.size();
  size_t base = out.size();
  // At most three bytes per byte, plus the slack of the 4-byte copies.
  out.resize(base + 3 * bytes.size() + 3);
  char* q = out.data() + base;
  bool clean = true;
  for (; p < end; ++p) {
    const TUtf8Form& f = forms[*p];
    if (f.Length != 0) {
      std::memcpy(q, &f, 4);
      q += f.Length;
    } else if (*p == 0) {
      *q++ = '\0';
      clean = false;
    } else {
      std::memcpy(q, "\xEF\xBF\xBD", 3);
      q += 3;
      clean = false;
    }
  }
  out.resize(static_cast<size_t>(q - out.data()));
  return clean;
}

// --- writer -----------------------------------------------------------------

T8bitWriter::T8bitWriter(const std::string& name, const char16_t* toUnicode) {
  Name = name;
  std::copy(toUnicode, toUnicode + 256, ToUnicode.begin());
  for (int b = 0; b < 256; ++b)
    FromUnicode[static_cast<size_t>(b)] = TPair{ToUnicode[static_cast<size_t>(b)], static_cast<uint8_t>(b)};
  std::sort(FromUnicode.begin(), FromUnicode.end(),
            [](const TPair& a, const TPair& b) { return a.Unit != b.Unit ? a.Unit < b.Unit : a.Byte < b.Byte; });
}

T8bitWriter::T8bitWriter(const T8bitWriter& other, int) : ToUnicode(other.ToUnicode), FromUnicode(other.FromUnicode) {
  Name = other.Name;
}

std::unique_ptr<TCharWriter> T8bitWriter::Clone() const {
  return std::unique_ptr<TCharWriter>(new T8bitWriter(*this, 0));
}

int T8bitWriter::Lookup(char16_t c) const {
  // Halving search for the first pair with this unit.
  int lo = 0, hi = 256;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (FromUnicode[static_cast<size_t>(mid)].Unit < c)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < 256 && FromUnicode[static_cast<size_t>(lo)].Unit == c) return FromUnicode[static_cast<size_t>(lo)].Byte;
  return -1;
}

void T8bitWriter::WriteChar(char16_t c) {
  int b = Lookup(c);
  if (b < 0) return;
  uint8_t byte = static_cast<uint8_t>(b);
  WriteBytes(&byte, 1);
}

}  // namespace tessel
