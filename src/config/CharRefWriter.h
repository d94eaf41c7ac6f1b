// A character writer for XML text that never loses a character silently.
//
// The charset writers skip a character their charset has no byte for, so a
// file name with Cyrillic letters saved in a Latin-2 file would come back
// mangled, and a character that XML cannot carry at all would leave a file
// that no longer loads. This writer sits between the XML writer and the
// charset writer: a character the charset lacks goes out as a character
// reference ("&#x416;"), and a unit that XML 1.0 cannot carry (a control
// character, U+FFFE, U+FFFF, a lone surrogate) as U+FFFD, and so does a
// character beyond U+FFFF, which the toolkit's parser cannot read back.
//
// References are only meaningful in character data and attribute values;
// whoever writes names or comments through it must keep such characters out
// of them (CanWrite tells which).
#pragma once

#include <memory>

#include "util/streams/CharRW.h"

namespace tessel {

class TCharRefWriter : public TCharWriter {
public:
  // Takes over the inner writer; Name is the inner writer's charset name.
  explicit TCharRefWriter(std::unique_ptr<TCharWriter> inner);
  ~TCharRefWriter() override;

  std::unique_ptr<TCharWriter> Clone() const override;
  void WriteChar(char16_t c) override;
  // Whether c goes out as itself: an XML character outside the surrogate
  // range that the inner charset can write.
  bool CanWrite(char16_t c) override;
  // Writes out a waiting high surrogate (as U+FFFD) and flushes the inner writer.
  void Flush() override;

  TCharWriter& Inner() { return *Inner_; }

private:
  void WriteCode(char32_t code);
  void WriteReference(char16_t code);

  std::unique_ptr<TCharWriter> Inner_;
  char16_t PendingHigh_ = 0;
};

}  // namespace tessel
