// A message (or a decoded body) held once as a NUL-terminated byte block,
// and cursors over it that read CR-terminated lines and search by offset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/streams/ChainMemoryStream.h"
#include "util/streams/Stream.h"

namespace tessel {

class TTextReader;

class TText {
public:
  // Copies length bytes and puts a NUL after them.
  TText(const char* data, int32_t length);
  // Takes the bytes without copying them (a std::string already keeps a NUL
  // after its last byte).
  explicit TText(std::string&& data);
  // A view on bytes [offset, offset + length) of parent; owns nothing. The
  // parent must outlive it.
  static std::unique_ptr<TText> CreateSub(const TText& parent, int32_t offset, int32_t length);
  // A text over length bytes at data that keeper keeps alive (a mapped file,
  // a block read without zero-filling it first); data[length] must be NUL.
  // The text holds keeper until it is freed.
  static std::unique_ptr<TText> CreateOver(const char* data, int32_t length, std::shared_ptr<const void> keeper) {
    std::unique_ptr<TText> text(new TText());
    text->Keeper_ = std::move(keeper);
    text->Start_ = data;
    text->Length_ = length < 0 ? 0 : length;
    text->End_ = text->Limit_ = data + text->Length_;
    return text;
  }
  ~TText();
  TText(const TText&) = delete;
  TText& operator=(const TText&) = delete;

  const char* Start() const { return Start_; }
  const char* End() const { return End_; }
  int32_t Length() const { return Length_; }
  bool OwnsData() const { return OwnsData_; }

  // A new reader at Start; the text owns it and frees it with itself.
  TTextReader* CreateReader();

  // Bytes [from, to) as a byte string (embedded NULs kept).
  std::string GetString(int32_t from, int32_t to) const;
  std::string_view GetView(int32_t from, int32_t to) const;
  const char* PtrAt(int32_t offset) const { return Start_ + offset; }

  // Transfer decoding of bytes [from, to) onto stream at its position, or
  // into a new TChainMemoryStream that the caller owns (left positioned
  // after the data). Offsets outside 0 .. Length are clamped.
  void DecodeBase64(int32_t from, int32_t to, TStream& stream) const;
  void DecodeQuotedPrintable(int32_t from, int32_t to, TStream& stream) const;
  void CopyTo(int32_t from, int32_t to, TStream& stream) const;
  // Lower-cases encoding: "base64", "quoted-printable", anything else copies.
  void Decode(int32_t from, int32_t to, const std::string& encoding, TStream& stream) const;
  std::unique_ptr<TChainMemoryStream> DecodeBase64(int32_t from, int32_t to) const;
  std::unique_ptr<TChainMemoryStream> DecodeQuotedPrintable(int32_t from, int32_t to) const;
  std::unique_ptr<TChainMemoryStream> CopyTo(int32_t from, int32_t to) const;
  std::unique_ptr<TChainMemoryStream> Decode(int32_t from, int32_t to, const std::string& encoding) const;

private:
  friend class TTextReader;
  TText() = default;
  // Clamps [from, to) to the text.
  std::string_view Slice(int32_t from, int32_t to) const;

  std::string Owned_;
  std::shared_ptr<const void> Keeper_;
  const char* Start_ = nullptr;
  const char* End_ = nullptr;
  // The NUL that closes the whole block (a sub-text's parent's end): scans
  // for CR or NUL are bounded by it.
  const char* Limit_ = nullptr;
  int32_t Length_ = 0;
  bool OwnsData_ = false;
  std::vector<std::unique_ptr<TTextReader>> Readers_;
};

class TTextReader {
public:
  explicit TTextReader(TText& text);

  int32_t Position() const { return static_cast<int32_t>(Current - Base); }
  void SetPosition(int32_t n) { Current = Base + n; }
  void Skip(int32_t n) { Current += n; }
  void GoToEnd();

  // True when the bytes at Current equal s (a NUL in either ends the
  // comparison, so a text that ends early does not match); advance moves past s.
  bool Match(std::string_view s, bool advance);
  // Adds delta to Current, then finds the first occurrence of s lying wholly
  // before the text's End (NULs do not stop the search). Found: Current at
  // its first byte, true. Not found or s empty: Current at the first NUL at
  // or after Current, false.
  bool SearchFor(std::string_view s, int32_t delta);
  // Reads up to the next CR (CR and an LF after it are consumed), or up to
  // the next NUL; sets Eof when the byte now at Current is NUL.
  void ReadLine(std::string& line);

  const char* Current;
  const char* Base;
  TText* Text;
  bool Eof = false;
};

}  // namespace tessel
