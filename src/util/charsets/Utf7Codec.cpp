#include "util/charsets/Utf7Codec.h"

#include <iterator>

#include "util/charsets/Utf8Codec.h"
#include "util/encodings/Base64.h"

namespace tessel {

namespace {

[[noreturn]] void ThrowInvalid() { throw Exception("Invalid utf7 sequence"); }

// Characters written as themselves: RFC 2152's set D without ',' plus the
// white space controls. Everything else goes into base64.
constexpr bool IsDirect(char16_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\t' || c == '\n' ||
         c == '\r' || c == ' ' || c == '\'' || c == '(' || c == ')' || c == '.' || c == '/' || c == '-' || c == ':' ||
         c == '?';
}

// A direct character that a reader would take as part of the run (or as its
// terminator) unless a '-' closes the run first.
constexpr bool NeedsDash(char16_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '-';
}

}  // namespace

// --- reader -----------------------------------------------------------------

char16_t TUTF7Reader::ReadChar() {
  if (Deferred_) {
    std::exception_ptr e = Deferred_;
    Deferred_ = nullptr;
    std::rethrow_exception(e);
  }
  if (ReadyPos_ == ReadyCount_) {
    ReadyPos_ = ReadyCount_ = 0;
    Step();
    if (ReadyCount_ == 0) return 0;
  }
  return Ready_[ReadyPos_++];
}

bool TUTF7Reader::Eof() {
  if (ReadyPos_ < ReadyCount_ || Deferred_) return false;
  if (TCharReader::Eof()) return true;
  ReadyPos_ = ReadyCount_ = 0;
  try {
    Step();
  } catch (...) {
    Deferred_ = std::current_exception();
    return false;
  }
  return ReadyCount_ == 0;
}

void TUTF7Reader::Step() {
  uint8_t b;
  while (ReadyCount_ == 0) {
    if (!ReadByte(b)) {
      FinishRun();
      return;
    }
    if (!InBase64_) {
      if (b == '+') {
        InBase64_ = true;
        SextetCount_ = 0;
        ByteCount_ = 0;
        Converted_ = false;
        continue;
      }
      Queue(b);  // bytes 0x80-0xFF give U+0080-U+00FF
      return;
    }
    uint8_t v = Base64DecodeTable[b];
    if (v < 64) {
      Converted_ = false;
      Sextets_[SextetCount_ % 4] = v;
      ++SextetCount_;
      if (SextetCount_ % 4 == 0) ConvertQuad(4);
      continue;
    }
    // Any other byte ends the run.
    InBase64_ = false;
    if (SextetCount_ == 0) {
      if (b != '-') ThrowInvalid();
      Queue('+');
      return;
    }
    if (!Converted_) {
      ConvertQuad(SextetCount_ % 4);
      if (ByteCount_ % 2) ThrowInvalid();
    }
    // After a full quad an odd byte count is zero fill and accepted.
    if (b != '-') Queue(b);
  }
}

void TUTF7Reader::FinishRun() {
  if (!InBase64_) return;
  InBase64_ = false;
  // A '+' with nothing after it is as malformed as one followed by a
  // stray byte.
  if (SextetCount_ == 0) ThrowInvalid();
  if (!Converted_) {
    ConvertQuad(SextetCount_ % 4);
    if (ByteCount_ % 2) ThrowInvalid();
  }
}

void TUTF7Reader::ConvertQuad(int sextets) {
  const uint8_t* s = Sextets_;
  PutByte(static_cast<uint8_t>(s[0] << 2 | s[1] >> 4));
  if (sextets >= 3) PutByte(static_cast<uint8_t>((s[1] & 15) << 4 | s[2] >> 2));
  if (sextets == 4) PutByte(static_cast<uint8_t>((s[2] & 3) << 6 | s[3]));
  Sextets_[0] = Sextets_[1] = Sextets_[2] = Sextets_[3] = 0;
  Converted_ = true;
}

void TUTF7Reader::PutByte(uint8_t b) {
  ++ByteCount_;
  if (ByteCount_ % 2) {
    HighByte_ = b;
    return;
  }
  char16_t c = static_cast<char16_t>(HighByte_ << 8 | b);
  if (c != 0) Queue(c);
}

bool TUTF7Reader::DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const {
  // Never more units than bytes: a byte outside a run is one unit, a run
  // gives fewer units than its sextets, and the replacement for a cut run
  // stands for its "+". So the units are written into a buffer of that size.
  // Encoded words are short: their units stay on the stack.
  char16_t small[256];
  std::u16string large;
  if (bytes.size() > std::size(small)) large.resize(bytes.size());
  char16_t* const units = large.empty() ? small : large.data();
  char16_t* q = units;
  bool clean = true;
  bool inRun = false;
  uint32_t bits = 0;
  int nbits = 0, sextets = 0;
  auto endRun = [&] {
    inRun = false;
    // Bytes of a cut quad: one for one or two sextets, two for three.
    static constexpr int kPartial[] = {0, 1, 1, 2};
    if (sextets == 0 || (sextets % 4 != 0 && (sextets / 4 * 3 + kPartial[sextets % 4]) % 2 == 1)) {
      *q++ = u'\xFFFD';
      clean = false;
    } else if (sextets % 4 == 1) {
      // A lone sextet after whole quads is a byte of its own (its low two
      // bits zero) that completes the unit waiting for it.
      char16_t unit = static_cast<char16_t>(bits << 2);
      if (unit != 0) *q++ = unit;
    }
  };
  for (unsigned char b : bytes) {
    if (inRun) {
      uint8_t v = Base64DecodeTable[b];
      if (v < 64) {
        bits = (bits << 6 | v) & 0xFFFFFF;
        nbits += 6;
        ++sextets;
        if (nbits >= 16) {
          nbits -= 16;
          char16_t unit = static_cast<char16_t>(bits >> nbits);
          if (unit != 0) *q++ = unit;
        }
        continue;
      }
      if (sextets == 0 && b == '-') {
        inRun = false;
        *q++ = u'+';
        continue;
      }
      endRun();
      if (b == '-' && sextets > 0) continue;
    }
    if (b == '+') {
      inRun = true;
      bits = 0;
      nbits = sextets = 0;
      continue;
    }
    *q++ = static_cast<char16_t>(b);
  }
  if (inRun) endRun();
  AppendUtf8Lenient(units, static_cast<size_t>(q - units), out);
  return clean;
}

// --- writer -----------------------------------------------------------------

TUTF7Writer::~TUTF7Writer() {
  try {
    Flush();
  } catch (...) {
    // A destructor cannot report a failing stream; the stream's owner sees it.
  }
}

void TUTF7Writer::AddByte(uint8_t b, char* out, int& n) {
  Group_[GroupCount_++] = b;
  if (GroupCount_ < 3) return;
  out[n++] = Base64Alphabet[Group_[0] >> 2];
  out[n++] = Base64Alphabet[(Group_[0] & 3) << 4 | Group_[1] >> 4];
  out[n++] = Base64Alphabet[(Group_[1] & 15) << 2 | Group_[2] >> 6];
  out[n++] = Base64Alphabet[Group_[2] & 63];
  GroupCount_ = 0;
}

void TUTF7Writer::CloseRun(char* out, int& n) {
  // One waiting byte is written as two characters; two waiting bytes are
  // completed with a zero byte and written as a whole quad. The zero byte
  // reads back as fill (a unit of value 0 is dropped), so files written this
  // way have always read back unchanged here.
  if (GroupCount_ == 1) {
    out[n++] = Base64Alphabet[Group_[0] >> 2];
    out[n++] = Base64Alphabet[(Group_[0] & 3) << 4];
  } else if (GroupCount_ == 2) {
    out[n++] = Base64Alphabet[Group_[0] >> 2];
    out[n++] = Base64Alphabet[(Group_[0] & 3) << 4 | Group_[1] >> 4];
    out[n++] = Base64Alphabet[(Group_[1] & 15) << 2];
    out[n++] = Base64Alphabet[0];
  }
  GroupCount_ = 0;
  InBase64_ = false;
}

void TUTF7Writer::WriteChar(char16_t c) {
  char out[8];
  int n = 0;
  if (IsDirect(c)) {
    if (InBase64_) {
      CloseRun(out, n);
      if (NeedsDash(c)) out[n++] = '-';
    }
    out[n++] = static_cast<char>(c);
  } else if (c == '+' && !InBase64_) {
    out[n++] = '+';
    out[n++] = '-';
  } else {
    if (!InBase64_) {
      out[n++] = '+';
      InBase64_ = true;
      GroupCount_ = 0;
    }
    AddByte(static_cast<uint8_t>(c >> 8), out, n);
    AddByte(static_cast<uint8_t>(c & 0xFF), out, n);
  }
  WriteBytes(out, n);
}

void TUTF7Writer::Flush() {
  if (!InBase64_) return;
  char out[8];
  int n = 0;
  CloseRun(out, n);
  out[n++] = '-';
  WriteBytes(out, n);
}

}  // namespace tessel
