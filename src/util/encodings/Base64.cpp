#include "util/encodings/Base64.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSEL_B64_AVX2 1

// Decodes whole blocks of 32 alphabet characters at p into 24 bytes each at
// o, and stops before the first block holding anything else (a line break,
// a pad, the end); returns the new p and moves o. Each character's value
// comes from its high nibble plus a correction chosen by that nibble ('/'
// shares its nibble with '+' and gets its own); a character is outside the
// alphabet exactly when the bit sets looked up by its two nibbles overlap.
__attribute__((target("avx2"))) const uint8_t* DecodeBlocksAvx2(const uint8_t* p, const uint8_t* end, char*& o) {
  const __m256i lutLo =
      _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A,
                       0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i lutHi =
      _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m256i lutRoll = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
                                           -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i mask2F = _mm256_set1_epi8(0x2F);
  const __m256i pack = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9,
                                        8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  char* out = o;
  while (end - p >= 32) {
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hiNibbles = _mm256_and_si256(_mm256_srli_epi32(in, 4), mask2F);
    const __m256i loNibbles = _mm256_and_si256(in, mask2F);
    const __m256i hi = _mm256_shuffle_epi8(lutHi, hiNibbles);
    const __m256i lo = _mm256_shuffle_epi8(lutLo, loNibbles);
    if (!_mm256_testz_si256(lo, hi)) break;
    const __m256i roll = _mm256_shuffle_epi8(lutRoll, _mm256_add_epi8(_mm256_cmpeq_epi8(in, mask2F), hiNibbles));
    const __m256i values = _mm256_add_epi8(in, roll);
    // Pairs of 6-bit values into 12 bits, pairs of those into 24.
    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, pack), lanes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(bytes, 1));
    out += 24;
    p += 32;
  }
  o = out;
  return p;
}

bool DetectAvx2() {
  // Runs among the static constructors, possibly before the library's own.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const bool HasAvx2 = DetectAvx2();
#endif

// Decoding state carried from one piece of the input to the next.
struct TDecodeState {
  uint8_t Slot[4] = {};
  int Filled = 0;  // values in the quad so far
};

enum class TDecodeStop { End, Pad, BadPad };

// Room the decoding of n input bytes may need: three bytes per four, plus a
// quad completed from values carried in and the bytes of a final pad.
constexpr size_t MaxDecoded(size_t n) { return n / 4 * 3 + 6; }

// Decodes [p, end) to o (room for MaxDecoded(end - p) bytes), moving o past
// what it wrote. Stops at the end, after a pad in the third or fourth place
// (its bytes written), or before a pad in the first or second place.
TDecodeStop DecodePiece(const uint8_t* p, const uint8_t* end, char*& output, TDecodeState& state) {
  // A local cursor: stores through a char pointer could otherwise alias the
  // caller's, which the compiler would reload after every byte.
  char* o = output;
  TDecodeStop stop = TDecodeStop::End;
  while (p < end) {
    if (state.Filled == 0) {
      // Most input is unbroken runs of alphabet characters between line
      // breaks: decode whole quads until something else turns up. Each
      // quad is stored as four bytes, the fourth overwritten by the next
      // (the room MaxDecoded gives covers the last).
#ifdef TESSEL_B64_AVX2
      if (HasAvx2) p = DecodeBlocksAvx2(p, end, o);
#endif
      while (end - p >= 4) {
        uint32_t v = QuadTables.Place[0][p[0]] | QuadTables.Place[1][p[1]] | QuadTables.Place[2][p[2]] |
                     QuadTables.Place[3][p[3]];
        if (v >> 24) break;
        uint32_t bytes = __builtin_bswap32(v << 8);
        std::memcpy(o, &bytes, 4);
        o += 3;
        p += 4;
      }
      if (p == end) break;
    }
    uint8_t v = Base64DecodeTable[*p++];
    if (v == kBase64Skip) continue;
    uint8_t* slot = state.Slot;
    if (v == kBase64Pad) {
      if (state.Filled < 2) {
        stop = TDecodeStop::BadPad;
        break;
      }
      *o++ = static_cast<char>((slot[0] << 2) | (slot[1] >> 4));
      if (state.Filled == 3) *o++ = static_cast<char>((slot[1] << 4) | (slot[2] >> 2));
      // Whatever follows a pad is not decoded.
      stop = TDecodeStop::Pad;
      break;
    }
    slot[state.Filled++] = v;
    if (state.Filled == 4) {
      o[0] = static_cast<char>((slot[0] << 2) | (slot[1] >> 4));
      o[1] = static_cast<char>((slot[1] << 4) | (slot[2] >> 2));
      o[2] = static_cast<char>((slot[2] << 6) | slot[3]);
      o += 3;
      state.Filled = 0;
    }
  }
  output = o;
  return stop;
}

// Input bytes per piece of the stream decoder: their output fits its buffer.
constexpr size_t kStreamPiece = 4096 * 4;
static_assert(MaxDecoded(kStreamPiece) <= 16384);

}  // namespace

void Base64DecodeBuffer(const char* data, int32_t count, TStream& output) {
  TWriteBuffer out(output);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
  const uint8_t* end = p + std::max<int32_t>(count, 0);
  TDecodeState state;
  while (p < end) {
    size_t n = std::min(static_cast<size_t>(end - p), kStreamPiece);
    char* const start = out.Reserve(MaxDecoded(n));
    char* o = start;
    TDecodeStop stop = DecodePiece(p, p + n, o, state);
    out.Commit(static_cast<size_t>(o - start));
    p += n;
    if (stop == TDecodeStop::BadPad) {
      out.Flush();  // the quads before the fault stay decoded
      throw Exception("Invalid input");
    }
    if (stop == TDecodeStop::Pad) break;
  }
  // A partial quad at the end is dropped.
  out.Flush();
}

bool Base64DecodeAppend(std::string_view s, std::string& out) {
  size_t base = out.size();
  out.resize(base + MaxDecoded(s.size()));
  char* o = out.data() + base;
  TDecodeState state;
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  bool good = DecodePiece(p, p + s.size(), o, state) != TDecodeStop::BadPad;
  out.resize(static_cast<size_t>(o - out.data()));
  return good;
}

std::string Base64DecodeToString(std::string_view s) {
  std::string result;
  if (!Base64DecodeAppend(s, result)) throw Exception("Invalid input");
  return result;
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
