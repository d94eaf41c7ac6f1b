#include "util/encodings/Base64.h"

#include <algorithm>

#include "util/system/Exception.h"

namespace tessel {

const char Base64Alphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

namespace {

constexpr uint8_t DecodeEntry(int c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  if (c == '=') return kBase64Pad;
  return kBase64Skip;
}

// A base64 line holds 19 groups of 3 bytes (76 characters).
constexpr int kGroupsPerLine = 19;

}  // namespace

// Constant-initialised, so the table is ready before any code runs.
#define TESSEL_B64_E4(n) DecodeEntry(n), DecodeEntry(n + 1), DecodeEntry(n + 2), DecodeEntry(n + 3)
#define TESSEL_B64_E16(n) TESSEL_B64_E4(n), TESSEL_B64_E4(n + 4), TESSEL_B64_E4(n + 8), TESSEL_B64_E4(n + 12)
#define TESSEL_B64_E64(n) TESSEL_B64_E16(n), TESSEL_B64_E16(n + 16), TESSEL_B64_E16(n + 32), TESSEL_B64_E16(n + 48)
constinit const uint8_t Base64DecodeTable[256] = {TESSEL_B64_E64(0), TESSEL_B64_E64(64), TESSEL_B64_E64(128),
                                                  TESSEL_B64_E64(192)};
#undef TESSEL_B64_E64
#undef TESSEL_B64_E16
#undef TESSEL_B64_E4

namespace {

// The decoding table spread over the four places of a quad: each entry holds
// the value's bits already shifted to its place in the 24-bit group, and
// bit 24 for a byte outside the alphabet, so one OR of four lookups both
// decodes a quad and tells whether all four bytes were alphabet characters.
struct TQuadTables {
  uint32_t Place[4][256];
};

constexpr TQuadTables MakeQuadTables() {
  TQuadTables t{};
  for (int place = 0; place < 4; ++place)
    for (int c = 0; c < 256; ++c) {
      uint8_t v = DecodeEntry(c);
      t.Place[place][c] = v < 64 ? uint32_t(v) << (18 - 6 * place) : uint32_t(1) << 24;
    }
  return t;
}

constexpr TQuadTables QuadTables = MakeQuadTables();

// Quads decoded per reserved piece of the output buffer.
constexpr size_t kQuadBatch = 1024;

}  // namespace

void Base64DecodeBuffer(const char* data, int32_t count, TStream& output) {
  TWriteBuffer out(output);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
  const uint8_t* end = p + std::max<int32_t>(count, 0);
  uint8_t slot[4];
  int filled = 0;  // values in the quad so far
  while (p < end) {
    if (filled == 0) {
      // Most input is unbroken runs of alphabet characters between line
      // breaks: decode whole quads until something else turns up.
      bool broken = false;
      while (!broken && end - p >= 4) {
        size_t quads = std::min(static_cast<size_t>(end - p) / 4, kQuadBatch);
        char* const start = out.Reserve(quads * 3);
        char* o = start;
        for (size_t k = 0; k < quads; ++k, p += 4) {
          uint32_t v = QuadTables.Place[0][p[0]] | QuadTables.Place[1][p[1]] | QuadTables.Place[2][p[2]] |
                       QuadTables.Place[3][p[3]];
          if (v >> 24) {
            broken = true;
            break;
          }
          o[0] = static_cast<char>(v >> 16);
          o[1] = static_cast<char>(v >> 8);
          o[2] = static_cast<char>(v);
          o += 3;
        }
        out.Commit(static_cast<size_t>(o - start));
      }
      if (p == end) break;
    }
    uint8_t v = Base64DecodeTable[*p++];
    if (v == kBase64Skip) continue;
    if (v == kBase64Pad) {
      if (filled < 2) {
        out.Flush();  // the quads before the fault stay decoded
        throw Exception("Invalid input");
      }
      out.Put(static_cast<char>((slot[0] << 2) | (slot[1] >> 4)));
      if (filled == 3) out.Put(static_cast<char>((slot[1] << 4) | (slot[2] >> 2)));
      // Whatever follows a pad is not decoded.
      break;
    }
    slot[filled++] = v;
    if (filled == 4) {
      char* o = out.Reserve(3);
      o[0] = static_cast<char>((slot[0] << 2) | (slot[1] >> 4));
      o[1] = static_cast<char>((slot[1] << 4) | (slot[2] >> 2));
      o[2] = static_cast<char>((slot[2] << 6) | slot[3]);
      out.Commit(3);
      filled = 0;
    }
  }
  // A partial quad at the end is dropped.
  out.Flush();
}

void Base64DecodeString(std::string_view s, TStream& output) {
  Base64DecodeBuffer(s.data(), static_cast<int32_t>(std::min<size_t>(s.size(), INT32_MAX)), output);
}

namespace {

// Encodes a sequence of bytes fed in pieces of any size, breaking lines after
// every 19 groups; a final group of one or two bytes counts as a group too.
class TBase64Encoder {
public:
  explicit TBase64Encoder(std::string& out) : Out_(out) {}

  void Feed(const uint8_t* p, size_t n) {
    while (Carried_ > 0 && Carried_ < 3 && n > 0) {
      Carry_[Carried_++] = *p++;
      --n;
    }
    if (Carried_ == 3) {
      Group(Carry_[0], Carry_[1], Carry_[2], 3);
      Carried_ = 0;
    }
    for (; n >= 3; p += 3, n -= 3) Group(p[0], p[1], p[2], 3);
    while (n-- > 0) Carry_[Carried_++] = *p++;
  }

  void Finish() {
    if (Carried_ == 1) Group(Carry_[0], 0, 0, 1);
    if (Carried_ == 2) Group(Carry_[0], Carry_[1], 0, 2);
    Carried_ = 0;
  }

private:
  void Group(uint8_t b1, uint8_t b2, uint8_t b3, int n) {
    char g[4] = {Base64Alphabet[b1 >> 2], Base64Alphabet[((b1 & 3) << 4) | (b2 >> 4)],
                 n > 1 ? Base64Alphabet[((b2 & 15) << 2) | (b3 >> 6)] : '=', n > 2 ? Base64Alphabet[b3 & 63] : '='};
    Out_.append(g, 4);
    if (++Groups_ == kGroupsPerLine) {
      Out_.append("\r\n", 2);
      Groups_ = 0;
    }
  }

  std::string& Out_;
  int Groups_ = 0;
  uint8_t Carry_[3] = {};
  int Carried_ = 0;
};

}  // namespace

std::string Base64EncodeStream(TStream& input) {
  std::string result;
  TBase64Encoder encoder(result);
  // Whole lines per read; a short read is simply carried into the next one.
  constexpr int32_t kChunk = 57 * 256;
  uint8_t buf[kChunk];
  for (;;) {
    int32_t n = input.Read(buf, kChunk);
    if (n > kChunk) throw Exception("Internal error in base64");
    if (n <= 0) break;
    encoder.Feed(buf, static_cast<size_t>(n));
  }
  encoder.Finish();
  return result;
}

void Base64EncodeBuffer(const char* data, int32_t length, TStream& output) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
  size_t left = static_cast<size_t>(std::max<int32_t>(length, 0));
  std::string text;
  TBase64Encoder encoder(text);
  // Whole lines per piece keep the encoder's line count aligned with the pieces.
  constexpr size_t kPiece = 57 * 256;
  text.reserve(kPiece / 3 * 4 + kPiece / 57 * 2 + 8);
  while (left > 0) {
    size_t n = std::min(left, kPiece);
    encoder.Feed(p, n);
    p += n;
    left -= n;
    if (left > 0) {
      output.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
      text.clear();
    }
  }
  encoder.Finish();
  text.append("\r\n", 2);
  output.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

int32_t Base64Compare(std::string_view a, std::string_view b) {
  auto significant = [](char c) { return Base64DecodeTable[static_cast<uint8_t>(c)] != kBase64Skip; };
  size_t i = 0, j = 0;
  int32_t pair = 0;
  for (;;) {
    while (i < a.size() && !significant(a[i])) ++i;
    while (j < b.size() && !significant(b[j])) ++j;
    bool aDone = i == a.size(), bDone = j == b.size();
    if (aDone && bDone) return 0;
    if (aDone) return -1;
    if (bDone) return -2;
    ++pair;
    if (a[i] != b[j]) return pair;
    ++i;
    ++j;
  }
}

}  // namespace tessel
