// One input of the XML parser: the document itself, an external entity, the
// external DTD subset, or an internal entity re-read on every reference.
//
// Characters come out one UTF-16 unit at a time through NextChar, with line
// ends normalised and characters that XML does not allow refused. Until the
// parser has read the XML or text declaration the input is decoded one unit
// at a time, so that an encoding declaration switches the decoder exactly
// after itself; from then on whole runs are decoded ahead into a chunk that
// the grammar may scan directly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "xml/XmlChars.h"
#include "util/streams/CharRW.h"
#include "util/streams/Stream.h"

namespace tessel {

class TQXMLParser;

enum TEntityKind : uint8_t {
  ekInternal = 0,        // internal general entity whose text holds markup
  ekExternalMain = 1,    // main input that is an external parsed entity
  ekDocument = 2,        // main input that is a document
  ekExternalParsed = 3,  // external parsed general entity
  ekUnparsed = 4,        // unparsed entity (declared with NDATA)
  ekExternalNew = 5,     // external general entity before its kind is known
  ekParameter = 6,       // external parameter entity
  ekDtdSubset = 7,       // external DTD subset
};

class TEntity {
public:
  // Units decoded ahead at a time once the declaration has been read: the
  // chunk (16 KB) stays in the first-level data cache between being
  // written by the decoder and read by the grammar.
  static constexpr size_t kChunkUnits = 8 * 1024;
  // Bytes of a stream that is not in memory read ahead at a time (UTF-8).
  static constexpr size_t kWindowBytes = 64 * 1024;

  TEntity(TQXMLParser& parser, uint8_t kind);
  virtual ~TEntity();
  TEntity(const TEntity&) = delete;
  TEntity& operator=(const TEntity&) = delete;

  // Finds the input (public id resolver, system id resolver, then the file
  // named by SystemId) unless there is one already, and starts reading it
  // from its beginning.
  virtual void OpenEntity();
  // Takes the stream (nullptr raises "Input to the entity not found"), copies
  // it to memory when CopyToMemory is set, and starts reading it at 0 with
  // encoding detection.
  void SetInput(std::unique_ptr<TStream> stream);
  // Switches the decoder at the current position; raises "Unsupported
  // encoding: " + name for a name the charset registry does not know.
  void SetEncoding(const std::string& name);
  // An internal entity: its replacement text becomes the input.
  void StartText();

  inline char16_t NextChar();
  void PushBack(char16_t c) {
    Pushback_.push_back(c);
    AtEnd = false;
  }
  // The characters of s are read back from first to last.
  void PushBack(const std::u16string& s) {
    if (s.empty()) return;
    size_t old = Pushback_.size();
    Pushback_.resize(old + s.size());
    std::reverse_copy(s.begin(), s.end(), Pushback_.begin() + static_cast<std::ptrdiff_t>(old));
    AtEnd = false;
  }
  // The next character (a line end as LF) without taking it, or -1 at the end.
  inline int32_t Peek();
  // The same without line-end folding.
  inline int32_t RawPeek();
  // The declaration has been read (or is absent): decode ahead from now on.
  void EndDeclaration();

  // Direct access to the decoded chunk for the grammar's fast paths. Valid
  // only while no push-back is pending.
  bool PushbackEmpty() const { return Pushback_.empty(); }
  // The pushed-back units, the next one last; a caller that takes some
  // calls Consume(0) after.
  std::u16string& PushedBack() { return Pushback_; }
  const char16_t* ChunkPos() const { return Chunk_.data() + Pos_; }
  const char16_t* ChunkEnd() const { return Chunk_.data() + End_; }
  // Takes n units of the chunk that the caller has checked.
  void Consume(size_t n) {
    Pos_ += n;
    AtEnd = Pushback_.empty() && Pos_ == End_ && SourceEmpty_;
  }
  // Decodes more when the chunk is used up; false at the end of the input.
  bool Refill();

  // Line and column (1-based) of the next character of the input.
  void Position(int32_t& line, int32_t& column) const;
  bool HasInput() const { return Input_ != nullptr; }
  // Frees the input stream and the decoder (the parse of the main input ended).
  void CloseInput();
  const std::string& EncodingName() const { return EncodingName_; }

  bool AtEnd = false;
  std::u16string NotationName;
  std::u16string SystemId;
  std::u16string PublicId;
  bool CopyToMemory = false;
  uint8_t EntityKind;
  std::u16string ReplacementText;
  bool ReaderReplaced = false;
  TQXMLParser* Parser;

private:
  void DetectEncoding();
  // Decodes the next units into the chunk; false at the end of the input.
  bool Fill();
  [[noreturn]] void FailEof();
  void DecodeAhead();
  // Moves the undecoded bytes of the window to its start and reads more
  // behind them.
  void TopUp();
  [[noreturn]] void InvalidChar(char16_t c);
  void Account(const char16_t* p, const char16_t* e);

  std::unique_ptr<TStream> Input_;
  bool OwnsMemoryCopy_ = false;  // Input_ is the memory copy made here
  std::unique_ptr<TCharReader> Reader_;
  std::string EncodingName_;
  std::u16string Pushback_;  // read back from the end
  std::u16string Chunk_;     // decoded units
  size_t Pos_ = 0, End_ = 0;
  bool SourceEmpty_ = true;     // nothing left to decode after the chunk
  bool Careful_ = true;         // decode one unit at a time
  bool BulkUtf8_ = false;       // decode UTF-8 from Bytes_ a chunk at a time
  std::exception_ptr Pending_;  // decoding fault after the end of the chunk
  // Bulk decoding source: the bytes not yet decoded, Bytes_[BytePos_] to
  // Bytes_[ByteCount_]. They are the whole rest of an input held in memory,
  // or a window over a stream (Source_) that is read as it is decoded: a
  // window the size of the second-level cache is read by the kernel's copy
  // faster than the pages of a mapped file are touched one by one.
  std::string OwnBytes_;
  TStream* Source_ = nullptr;
  const char* Bytes_ = nullptr;
  size_t ByteCount_ = 0, BytePos_ = 0;
  // Position of the chunk's first unit.
  int32_t Line_ = 1, Column_ = 1;
  bool LastWasCr_ = false;
};

inline char16_t TEntity::NextChar() {
  char16_t c;
  if (!Pushback_.empty()) {
    c = Pushback_.back();
    Pushback_.pop_back();
    // Pushed-back characters were checked when they were first read.
  } else {
    if ((AtEnd || Pos_ == End_) && !Fill()) FailEof();
    c = Chunk_[Pos_++];
    if (!IsXmlChar(c)) InvalidChar(c);
  }
  AtEnd = Pushback_.empty() && Pos_ == End_ && SourceEmpty_;
  if (c == u'\r') {
    c = u'\n';
    if (!AtEnd && RawPeek() == u'\n') {
      // The LF of a CR LF pair is taken with the CR.
      if (!Pushback_.empty())
        Pushback_.pop_back();
      else
        ++Pos_;
      AtEnd = Pushback_.empty() && Pos_ == End_ && SourceEmpty_;
    }
  }
  return c;
}

inline int32_t TEntity::RawPeek() {
  if (!Pushback_.empty()) return Pushback_.back();
  if (AtEnd) return -1;
  if (Pos_ == End_ && !Refill()) return -1;
  return Chunk_[Pos_];
}

inline int32_t TEntity::Peek() {
  int32_t c = RawPeek();
  return c == u'\r' ? u'\n' : c;
}

}  // namespace tessel
