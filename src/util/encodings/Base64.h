// Base64 (the content-transfer encoding) decoding, encoding and comparison.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/streams/Stream.h"

namespace tessel {

// "ABC...xyz0123456789+/": value 0 to 63 in this order.
extern const char Base64Alphabet[65];

// Decoding table: the value 0..63 of an alphabet byte, 254 for '=', 255 for
// every other byte (skipped).
enum : uint8_t { kBase64Pad = 254, kBase64Skip = 255 };
extern const uint8_t Base64DecodeTable[256];

// Decode onto output at its position. A pad in the first or second place of
// a quad raises Exception("Invalid input") (earlier quads are already
// written); decoding stops at the first pad in the third or fourth place; a
// partial quad at the end is dropped.
void Base64DecodeString(std::string_view s, TStream& output);
void Base64DecodeBuffer(const char* data, int32_t count, TStream& output);
// The same decoding into a string sized once from the input's length, for
// large bodies; the same exception, after which nothing is returned.
std::string Base64DecodeToString(std::string_view s);
// The same decoding appended to out, for short texts; false where the
// others raise the exception (out then ends with the quads before the fault).
bool Base64DecodeAppend(std::string_view s, std::string& out);

// Encoding of the stream's remaining bytes, CR LF after every 76 characters.
std::string Base64EncodeStream(TStream& input);
// Encodes length bytes onto output, always followed by one more CR LF.
void Base64EncodeBuffer(const char* data, int32_t length, TStream& output);

// Compares two base64 texts, ignoring every byte outside the alphabet and
// '=': 0 same, -1 a ends first, -2 b ends first, n the first unequal pair.
int32_t Base64Compare(std::string_view a, std::string_view b);

}  // namespace tessel
