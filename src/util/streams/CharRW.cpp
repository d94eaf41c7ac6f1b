#include "util/streams/CharRW.h"

#include <limits>

#include "util/streams/MemoryStream.h"
#include "util/charsets/Utf8Codec.h"

namespace tessel {

TCharRWBase::~TCharRWBase() {
  if (OwnsStream) delete Stream;
}

void TCharRWBase::SetStream(TStream* stream) {
  if (stream == Stream) return;
  if (OwnsStream) delete Stream;
  Stream = stream;
}

bool TCharReader::Eof() {
  if (!Stream) return true;
  return Stream->GetPosition() >= Stream->GetSize();
}

bool TCharReader::ReadByte(uint8_t& b) { return Stream && Stream->Read(&b, 1) == 1; }

namespace {

// A stream over bytes, for a copy of a reader to read from.
TPointerStream StreamOver(std::string_view bytes) {
  // Streams count in 32-bit sizes; nothing this large reaches a reader.
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw Exception("Text too large");
  return TPointerStream(bytes.data(), static_cast<int32_t>(bytes.size()));
}

}  // namespace

std::unique_ptr<TCharReader> TCharReader::CloneOver(TStream& stream) const {
  std::unique_ptr<TCharReader> reader = Clone();
  reader->SetStream(&stream);
  reader->OwnsStream = false;
  return reader;
}

void TCharReader::DecodeBytes(std::string_view bytes, std::u16string& out) const {
  TPointerStream stream = StreamOver(bytes);
  std::unique_ptr<TCharReader> reader = CloneOver(stream);
  while (!reader->Eof()) out.push_back(reader->ReadChar());
}

void TCharReader::DecodeBytesUtf8(std::string_view bytes, std::string& out) const {
  std::u16string units;
  DecodeBytes(bytes, units);
  AppendUtf8(units.data(), units.size(), out);
}

bool TCharReader::DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const {
  TPointerStream stream = StreamOver(bytes);
  std::unique_ptr<TCharReader> reader = CloneOver(stream);
  std::u16string units;
  bool clean = true;
  for (;;) {
    int32_t before = stream.GetPosition();
    try {
      if (reader->Eof()) break;
      units.push_back(reader->ReadChar());
    } catch (const Exception&) {
      clean = false;
      // A fault that consumed nothing still moves on by one byte. A NUL
      // byte the charset cannot read stays a NUL, so that callers cutting
      // text at its first NUL cut it there.
      int32_t after = stream.GetPosition();
      if (after <= before) stream.SetPosition(after = before + 1);
      bool nul = after == before + 1 && bytes[static_cast<size_t>(before)] == '\0';
      units.push_back(nul ? u'\0' : u'\xFFFD');
    }
  }
  AppendUtf8Lenient(units.data(), units.size(), out);
  return clean;
}

bool TCharWriter::CanWrite(char16_t) { return true; }

void TCharWriter::WriteBytes(const void* data, int32_t count) {
  if (!Stream) throw Exception("Stream write error");
  Stream->WriteBuffer(data, count);
}

void TCharWriter::WriteString(const std::u16string& ws) {
  for (char16_t c : ws) WriteChar(c);
}

}  // namespace tessel
