#include "util/charsets/Utf8Codec.h"
#include "util/text/HexText.h"

#include <cstring>

namespace tessel {

namespace {

constexpr std::array<uint8_t, 256> MakeLeadLength() {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    if (b < 0x80)
      t[b] = 1;
    else if (b < 0xC0)
      t[b] = 0;
    else if (b < 0xE0)
      t[b] = 2;
    else if (b < 0xF0)
      t[b] = 3;
    else if (b < 0xF8)
      t[b] = 4;
    else if (b < 0xFC)
      t[b] = 5;
    else if (b < 0xFE)
      t[b] = 6;
    else
      t[b] = 0;
  }
  return t;
}

[[noreturn]] void ThrowBadLead(uint8_t b) {
  std::string msg = "Illegar UTF-8 character beginning with #x";
  msg += HexDigit(b >> 4);
  msg += HexDigit(b);
  throw EIllegalChar(msg);
}

[[noreturn]] void ThrowIllegal() { throw EIllegalChar("Illegal character"); }

// Smallest code point of each sequence length; anything below is an overlong
// form (which could smuggle a '<' or a NUL past a byte-level check).
constexpr uint32_t kMinOfLength[5] = {0, 0, 0x80, 0x800, 0x10000};

// Decodes the non-ASCII sequence starting at p with the reader's checks and
// advances p past it. Byte sources: a pointer range, or a reader's stream.
struct TRangeBytes {
  const uint8_t* P;
  const uint8_t* End;
  bool Next(uint8_t& b) {
    if (P == End) return false;
    b = *P++;
    return true;
  }
  void Unread() { --P; }
};

template <class Bytes>
uint32_t DecodeSequence(uint8_t lead, Bytes& bytes) {
  int n = Utf8LeadLength[lead];
  if (n == 0) ThrowBadLead(lead);
  if (n == 1) return lead;
  if (n > 4) ThrowIllegal();
  uint32_t c = lead & (0x7Fu >> n);
  for (int i = 1; i < n; ++i) {
    uint8_t t;
    if (!bytes.Next(t)) ThrowIllegal();
    // A byte that is not 10xxxxxx would otherwise be swallowed into the
    // character, taking a delimiter of the surrounding text with it; it is
    // left unread, so that a caller going on after the error still sees it.
    if ((t & 0xC0) != 0x80) {
      bytes.Unread();
      ThrowIllegal();
    }
    c = c << 6 | (t & 0x3F);
  }
  if (c < kMinOfLength[n] || c > 0x10FFFF) ThrowIllegal();
  return c;
}

inline bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Writes code point c (up to 0x10FFFF) at q; returns the end.
inline char* PutUtf8(char* q, uint32_t c) {
  if (c < 0x80) {
    *q++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *q++ = static_cast<char>(0xC0 | c >> 6);
    *q++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *q++ = static_cast<char>(0xE0 | c >> 12);
    *q++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *q++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *q++ = static_cast<char>(0xF0 | c >> 18);
    *q++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *q++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *q++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return q;
}

inline uint32_t CombinePair(uint32_t high, uint32_t low) { return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00); }

constexpr uint64_t kHighBits8 = 0x8080808080808080ull;

}  // namespace

const std::array<uint8_t, 256> Utf8LeadLength = MakeLeadLength();

// --- reader -----------------------------------------------------------------

char16_t TUTF8Reader::ReadChar() {
  if (Pending_) {
    char16_t c = Pending_;
    Pending_ = 0;
    return c;
  }
  uint8_t lead;
  if (!ReadByte(lead)) return 0;
  struct {
    TUTF8Reader* Self;
    bool Next(uint8_t& b) { return Self->ReadByte(b); }
    void Unread() { Self->Stream->Seek(-1, soCurrent); }
  } bytes{this};
  uint32_t c = DecodeSequence(lead, bytes);
  if (c < 0x10000) return static_cast<char16_t>(c);
  c -= 0x10000;
  Pending_ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  return static_cast<char16_t>(0xD800 + (c >> 10));
}

void TUTF8Reader::DecodeBytes(std::string_view bytes, std::u16string& out) const { DecodeUtf8(bytes, out); }

void DecodeUtf8(std::string_view bytes, std::u16string& out) {
  // A sequence never gives more units than it has bytes.
  size_t base = out.size();
  out.resize(base + bytes.size());
  char16_t* q = out.data() + base;
  TRangeBytes in{reinterpret_cast<const uint8_t*>(bytes.data()),
                 reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size()};
  try {
    while (in.P < in.End) {
      while (in.End - in.P >= 8) {
        uint64_t w;
        std::memcpy(&w, in.P, 8);
        if (w & kHighBits8) break;
        for (int i = 0; i < 8; ++i) q[i] = in.P[i];
        q += 8;
        in.P += 8;
      }
      if (in.P == in.End) break;
      uint8_t lead = *in.P++;
      if (lead < 0x80) {
        *q++ = lead;
        continue;
      }
      // Two-byte forms (Latin, Greek, Cyrillic...) without the general path.
      if (lead >= 0xC2 && lead <= 0xDF && in.P < in.End && (*in.P & 0xC0) == 0x80) {
        *q++ = static_cast<char16_t>((lead & 0x1F) << 6 | (*in.P++ & 0x3F));
        continue;
      }
      uint32_t c = DecodeSequence(lead, in);
      if (c < 0x10000) {
        *q++ = static_cast<char16_t>(c);
      } else {
        c -= 0x10000;
        *q++ = static_cast<char16_t>(0xD800 + (c >> 10));
        *q++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      }
    }
  } catch (...) {
    out.resize(static_cast<size_t>(q - out.data()));
    throw;
  }
  out.resize(static_cast<size_t>(q - out.data()));
}

void TUTF8Reader::DecodeBytesUtf8(std::string_view bytes, std::string& out) const {
  // Valid input comes out unchanged, except that a pair of three-byte
  // surrogate forms becomes the four-byte form the writer makes of it.
  size_t base = out.size();
  out.resize(base + bytes.size());
  char* q = out.data() + base;
  TRangeBytes in{reinterpret_cast<const uint8_t*>(bytes.data()),
                 reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size()};
  uint32_t pendingHigh = 0;
  try {
    while (in.P < in.End) {
      if (!pendingHigh) {
        while (in.End - in.P >= 8) {
          uint64_t w;
          std::memcpy(&w, in.P, 8);
          if (w & kHighBits8) break;
          std::memcpy(q, in.P, 8);
          q += 8;
          in.P += 8;
        }
        if (in.P == in.End) break;
      }
      uint8_t lead = *in.P++;
      uint32_t c = lead < 0x80 ? lead : DecodeSequence(lead, in);
      if (pendingHigh) {
        if (IsLowSurrogate(c)) {
          q = PutUtf8(q, CombinePair(pendingHigh, c));
          pendingHigh = 0;
          continue;
        }
        q = PutUtf8(q, pendingHigh);
        pendingHigh = 0;
      }
      if (IsHighSurrogate(c))
        pendingHigh = c;
      else
        q = PutUtf8(q, c);
    }
    if (pendingHigh) q = PutUtf8(q, pendingHigh);
  } catch (...) {
    out.resize(static_cast<size_t>(q - out.data()));
    throw;
  }
  out.resize(static_cast<size_t>(q - out.data()));
}

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Code points written as UTF-8 with the surrogates sorted out: a high
// surrogate waits for its low half, and either half alone is U+FFFD. The
// bytes go straight into room made beforehand: at most three per unit put,
// plus three for a surrogate left waiting at the end.
class TLenientSink {
public:
  explicit TLenientSink(char* room) : Q_(room) {}
  TLenientSink(const TLenientSink&) = delete;
  TLenientSink& operator=(const TLenientSink&) = delete;

  void Put(uint32_t c) {
    if (PendingHigh_) {
      uint32_t high = PendingHigh_;
      PendingHigh_ = 0;
      if (IsLowSurrogate(c)) {
        Q_ = PutUtf8(Q_, CombinePair(high, c));
        return;
      }
      Q_ = PutUtf8(Q_, kReplacement);
    }
    if (IsHighSurrogate(c))
      PendingHigh_ = c;
    else
      Q_ = PutUtf8(Q_, IsLowSurrogate(c) ? kReplacement : c);
  }
  // A run of bytes that need no conversion (ASCII); only while none waits.
  void PutBytes(const uint8_t* p, size_t n) {
    std::memcpy(Q_, p, n);
    Q_ += n;
  }
  bool Waiting() const { return PendingHigh_ != 0; }
  // Ends a waiting surrogate; returns the end of what was written.
  char* Finish() {
    if (PendingHigh_) Q_ = PutUtf8(Q_, kReplacement);
    PendingHigh_ = 0;
    return Q_;
  }

  // The room for count units appended to out.
  static char* Room(std::string& out, size_t count) {
    size_t base = out.size();
    out.resize(base + 3 * count + 3);
    return out.data() + base;
  }

private:
  char* Q_;
  uint32_t PendingHigh_ = 0;
};

// The first byte at or after p that does not continue a run copied as it
// is: ASCII and the two- to four-byte forms of scalar values. The
// three-byte forms of surrogates stop it, as the lenient reading pairs them
// up or replaces them.
const uint8_t* SkipWellFormed(const uint8_t* p, const uint8_t* end) {
  for (;;) {
    p = SkipAscii(p, end);
    if (p == end) return p;
    const uint8_t b = p[0];
    const size_t left = static_cast<size_t>(end - p);
    if (b >= 0xC2 && b <= 0xDF) {
      if (left < 2 || (p[1] & 0xC0) != 0x80) return p;
      p += 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      const uint8_t low = b == 0xE0 ? 0xA0 : 0x80, high = b == 0xED ? 0x9F : 0xBF;
      if (left < 3 || p[1] < low || p[1] > high || (p[2] & 0xC0) != 0x80) return p;
      p += 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
      const uint8_t low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
      if (left < 4 || p[1] < low || p[1] > high || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) return p;
      p += 4;
    } else {
      return p;
    }
  }
}

}  // namespace

bool TUTF8Reader::DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto* end = p + bytes.size();
  // Each byte gives at most three (a bad one, U+FFFD).
  bool clean = true;
  TLenientSink sink(TLenientSink::Room(out, bytes.size()));
  while (p < end) {
    if (!sink.Waiting()) {
      const uint8_t* run = p;
      p = SkipWellFormed(p, end);
      sink.PutBytes(run, static_cast<size_t>(p - run));
      if (p == end) break;
    }
    uint8_t lead = *p;
    if (lead < 0x80) {
      sink.Put(lead);
      ++p;
      continue;
    }
    // The forms the strict reader accepts: well-formed UTF-8 and the
    // three-byte forms of surrogates (hence no narrower range after 0xED).
    size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
               : lead >= 0xE0 && lead <= 0xEF ? 3
               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                              : 0;
    uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
    size_t i = 1;
    uint32_t c = lead & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
    while (i < n && p + i < end && p[i] >= (i == 1 ? low : 0x80) && p[i] <= (i == 1 ? high : 0xBF)) {
      c = c << 6 | (p[i] & 0x3F);
      ++i;
    }
    if (n != 0 && i == n) {
      sink.Put(c);
    } else {
      clean = false;
      sink.Finish();
      sink.Put(kReplacement);
    }
    p += i;
  }
  out.resize(static_cast<size_t>(sink.Finish() - out.data()));
  return clean;
}

// --- writer -----------------------------------------------------------------

TUTF8Writer::~TUTF8Writer() {
  try {
    Flush();
  } catch (...) {
    // A destructor cannot report a failing stream; the stream's owner sees it.
  }
}

void TUTF8Writer::WriteChar(char16_t c) {
  char buf[8];
  char* q = buf;
  if (PendingHigh_) {
    if (IsLowSurrogate(c)) {
      q = PutUtf8(q, CombinePair(PendingHigh_, c));
      PendingHigh_ = 0;
      WriteBytes(buf, static_cast<int32_t>(q - buf));
      return;
    }
    q = PutUtf8(q, PendingHigh_);
    PendingHigh_ = 0;
  }
  if (IsHighSurrogate(c))
    PendingHigh_ = c;
  else
    q = PutUtf8(q, c);
  if (q != buf) WriteBytes(buf, static_cast<int32_t>(q - buf));
}

void TUTF8Writer::Flush() {
  if (!PendingHigh_) return;
  char buf[4];
  char* q = PutUtf8(buf, PendingHigh_);
  PendingHigh_ = 0;
  WriteBytes(buf, static_cast<int32_t>(q - buf));
}

// --- whole strings ----------------------------------------------------------

namespace {

// Exact UTF-8 length of units, so that the output is allocated once: a
// growing string would copy (and touch fresh memory for) the text again at
// every doubling.
size_t Utf8Length(const char16_t* units, size_t count) {
  size_t len = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = units[i];
    if (c < 0x80) {
      len += 1;
    } else if (c < 0x800) {
      len += 2;
    } else if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
      len += 4;
      ++i;
    } else {
      len += 3;
    }
  }
  return len;
}

}  // namespace

void AppendUtf8(const char16_t* units, size_t count, std::string& out) {
  size_t base = out.size();
  out.resize(base + Utf8Length(units, count));
  char* q = out.data() + base;
  size_t i = 0;
  while (i < count) {
    while (count - i >= 4) {
      uint64_t w;
      std::memcpy(&w, units + i, 8);
      if (w & 0xFF80FF80FF80FF80ull) break;
      q[0] = static_cast<char>(units[i]);
      q[1] = static_cast<char>(units[i + 1]);
      q[2] = static_cast<char>(units[i + 2]);
      q[3] = static_cast<char>(units[i + 3]);
      q += 4;
      i += 4;
    }
    if (i == count) break;
    uint32_t c = units[i++];
    if (IsHighSurrogate(c) && i < count && IsLowSurrogate(units[i])) c = CombinePair(c, units[i++]);
    q = PutUtf8(q, c);
  }
}

void AppendCodePointUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf8Lenient(const char16_t* units, size_t count, std::string& out) {
  TLenientSink sink(TLenientSink::Room(out, count));
  for (size_t i = 0; i < count; ++i) sink.Put(units[i]);
  out.resize(static_cast<size_t>(sink.Finish() - out.data()));
}

}  // namespace tessel
