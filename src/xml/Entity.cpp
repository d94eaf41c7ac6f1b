#include "Entity.h"

#include <algorithm>
#include <cstdio>

#include "KeyText.h"
#include "QXMLParser.h"
#include "util/Charsets.h"
#include "util/FileStream.h"
#include "util/MemoryStream.h"
#include "util/StringUtils.h"

namespace tessel {

namespace {

// Units decoded ahead at a time once the declaration has been read.
constexpr size_t kChunkUnits = 64 * 1024;

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

}  // namespace

TEntity::TEntity(TQXMLParser& parser, uint8_t kind) : EntityKind(kind), Parser(&parser) {}

TEntity::~TEntity() = default;

void TEntity::CloseInput() {
  Reader_.reset();
  Input_.reset();
  OwnBytes_.clear();
  OwnBytes_.shrink_to_fit();
  Bytes_ = nullptr;
  ByteCount_ = BytePos_ = 0;
}

void TEntity::OpenEntity() {
  if (EntityKind == ekInternal) {
    StartText();
    return;
  }
  std::unique_ptr<TStream> stream = std::move(Input_);
  if (!stream && !PublicId.empty() && Parser->PublicIdResolver) stream = Parser->PublicIdResolver(PublicId);
  if (!stream && !SystemId.empty() && Parser->SystemIdResolver) stream = Parser->SystemIdResolver(SystemId);
  if (!stream) stream = std::make_unique<TFileStream>(KeyFromWide(SystemId), TFileMode::OpenRead);
  SetInput(std::move(stream));
}

void TEntity::SetInput(std::unique_ptr<TStream> stream) {
  if (!stream) Parser->Fail("Input to the entity not found");
  Reader_.reset();
  EncodingName_.clear();
  if (CopyToMemory && !(OwnsMemoryCopy_ && stream == Input_)) {
    // A memory copy lets every later reference read the entity again.
    auto copy = std::make_unique<TMemoryStream>();
    stream->SetPosition(0);
    copy->CopyFrom(*stream, 0);
    stream = std::move(copy);
    OwnsMemoryCopy_ = true;
  }
  Input_ = std::move(stream);
  Input_->SetPosition(0);
  Pushback_.clear();
  Chunk_.clear();
  Pos_ = End_ = 0;
  Careful_ = true;
  BulkUtf8_ = false;
  Pending_ = nullptr;
  OwnBytes_.clear();
  Bytes_ = nullptr;
  ByteCount_ = BytePos_ = 0;
  Line_ = Column_ = 1;
  LastWasCr_ = false;
  SetEncoding("UTF-8");
  DetectEncoding();
  SourceEmpty_ = Reader_->Eof();
  AtEnd = Pushback_.empty() && SourceEmpty_;
}

void TEntity::StartText() {
  Input_.reset();
  Reader_.reset();
  Pushback_.clear();
  Chunk_ = ReplacementText;
  Pos_ = 0;
  End_ = Chunk_.size();
  Careful_ = false;
  SourceEmpty_ = true;
  Pending_ = nullptr;
  Line_ = Column_ = 1;
  LastWasCr_ = false;
  AtEnd = End_ == 0;
}

void TEntity::SetEncoding(const std::string& name) {
  std::string lower = LowerCase(name);
  if (Reader_ && lower == EncodingName_) return;
  std::unique_ptr<TCharReader> reader = CreateCharReader(name, Input_.get());
  if (!reader) Parser->Fail("Unsupported encoding: " + name);
  reader->OwnsStream = false;
  ReaderReplaced = Reader_ != nullptr;
  // Units decoded by the old reader but not yet read would otherwise be
  // lost; the grammar never leaves any, but keep them in order if it does.
  if (Pos_ < End_) {
    Pushback_.insert(Pushback_.begin(), Chunk_.rbegin(), Chunk_.rbegin() + static_cast<long>(End_ - Pos_));
    Pos_ = End_;
  }
  Reader_ = std::move(reader);
  EncodingName_ = lower;
  SourceEmpty_ = Reader_->Eof();
}

void TEntity::DetectEncoding() {
  uint8_t b[4] = {0, 0, 0, 0};
  int32_t n = Input_->Read(b, 4);
  auto at = [&](int32_t pos) { Input_->SetPosition(pos); };
  if (n >= 4 && b[0] == 0x00 && b[1] == 0x00 && b[2] == 0x00 && b[3] == 0x3C) {
    SetEncoding("UCS-4BE");
    PushBack(u'<');
  } else if (n >= 4 && b[0] == 0x00 && b[1] == 0x3C && b[2] == 0x00 && b[3] == 0x3F) {
    SetEncoding("UTF-16BE");
    PushBack(u"<?");
  } else if (n >= 4 && b[0] == 0x3C && b[1] == 0x00 && b[2] == 0x00 && b[3] == 0x00) {
    SetEncoding("UCS-4LE");
    PushBack(u'<');
  } else if (n >= 4 && b[0] == 0x3C && b[1] == 0x00 && b[2] == 0x3F && b[3] == 0x00) {
    SetEncoding("UTF-16LE");
    PushBack(u"<?");
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    at(2);
    SetEncoding("UTF-16BE");
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    at(2);
    SetEncoding("UTF-16LE");
  } else if (n >= 4 && b[0] == '+' && b[1] == 'A' && b[2] == 'D' && b[3] == 'w') {
    // "<" in UTF-7: no other encoding starts a document with "+", and the
    // writers produce such files when asked for UTF-7.
    at(0);
    SetEncoding("UTF-7");
  } else {
    // No mark: the bytes are read again through the UTF-8 decoder, so none
    // is lost and a byte that is no character is reported as such.
    at(0);
  }
}

void TEntity::EndDeclaration() {
  if (!Careful_) return;
  Careful_ = false;
  // Only the UTF-8 decoder is known to keep no state between units (a
  // UTF-7 reader may be inside a run, and may have looked ahead): other
  // decoders go on reading the stream themselves.
  if (!Reader_ || Reader_->Name != "UTF-8") return;
  BulkUtf8_ = true;
  // Take the undecoded rest of the input as one byte range.
  TStream* s = Input_.get();
  int32_t pos = s->GetPosition();
  int32_t size = s->GetSize();
  if (auto* m = dynamic_cast<TMemoryStream*>(s)) {
    Bytes_ = m->Memory();
  } else if (auto* p = dynamic_cast<TPointerStream*>(s)) {
    Bytes_ = p->Memory();
  } else if (auto* t = dynamic_cast<TStringStream*>(s)) {
    Bytes_ = t->DataString().data();
  } else {
    OwnBytes_.resize(static_cast<size_t>(std::max(0, size - pos)));
    int32_t got = OwnBytes_.empty() ? 0 : s->Read(OwnBytes_.data(), static_cast<int32_t>(OwnBytes_.size()));
    OwnBytes_.resize(static_cast<size_t>(std::max(0, got)));
    Bytes_ = OwnBytes_.data();
    pos = 0;
    size = static_cast<int32_t>(OwnBytes_.size());
  }
  BytePos_ = static_cast<size_t>(pos);
  ByteCount_ = static_cast<size_t>(std::max(pos, size));
  s->SetPosition(size);
  SourceEmpty_ = BytePos_ >= ByteCount_;
}

void TEntity::DecodeAhead() {
  Chunk_.clear();
  Pos_ = 0;
  if (!BulkUtf8_) {
    try {
      while (Chunk_.size() < kChunkUnits && !Reader_->Eof()) Chunk_.push_back(Reader_->ReadChar());
    } catch (const Exception&) {
      Pending_ = std::current_exception();
    }
    End_ = Chunk_.size();
    SourceEmpty_ = !Pending_ && Reader_->Eof();
    return;
  }
  size_t rest = ByteCount_ - BytePos_;
  size_t take = rest;
  // Cut before a lead byte so that no sequence is split between chunks.
  if (take > kChunkUnits) {
    take = kChunkUnits;
    while (take < rest && (static_cast<uint8_t>(Bytes_[BytePos_ + take]) & 0xC0) == 0x80) ++take;
  }
  std::string_view bytes(Bytes_ + BytePos_, take);
  BytePos_ += take;
  try {
    Reader_->DecodeBytes(bytes, Chunk_);
  } catch (const Exception&) {
    Pending_ = std::current_exception();
  }
  End_ = Chunk_.size();
  SourceEmpty_ = !Pending_ && BytePos_ >= ByteCount_;
}

bool TEntity::Refill() {
  if (SourceEmpty_ && !Pending_) {
    AtEnd = Pushback_.empty();
    return false;
  }
  return Fill();
}

void TEntity::FailEof() { Parser->Fail("Unexpected EOF"); }

bool TEntity::Fill() {
  if (AtEnd) return false;
  Account(Chunk_.data(), Chunk_.data() + End_);
  Chunk_.clear();
  Pos_ = End_ = 0;
  if (Pending_) {
    std::exception_ptr e = Pending_;
    Pending_ = nullptr;
    try {
      std::rethrow_exception(e);
    } catch (const Exception& ex) {
      SourceEmpty_ = true;
      Parser->Fail(ex.Message());
    }
  }
  if (!Reader_ || SourceEmpty_) {
    AtEnd = Pushback_.empty();
    return false;
  }
  if (Careful_) {
    try {
      Chunk_.push_back(Reader_->ReadChar());
    } catch (const EIllegalChar& ex) {
      Parser->Fail(ex.Message());
    }
    End_ = 1;
    SourceEmpty_ = Reader_->Eof();
  } else {
    DecodeAhead();
    if (End_ == 0 && Pending_) return Fill();
    // A decoder may consume bytes that yield no unit (a closing UTF-7 "-").
    if (End_ == 0) {
      AtEnd = Pushback_.empty();
      return false;
    }
  }
  if (EntityKind != ekDocument && EntityKind != ekExternalMain && EntityKind != ekDtdSubset)
    Parser->CountExpansion(static_cast<int64_t>(End_));
  return true;
}

namespace {

void AdvancePosition(const char16_t* p, const char16_t* e, int32_t& line, int32_t& column,
                     bool& lastWasCr) {
  for (; p < e; ++p) {
    char16_t c = *p;
    if (c == u'\n') {
      if (!lastWasCr) ++line;
      column = 1;
      lastWasCr = false;
    } else if (c == u'\r') {
      ++line;
      column = 1;
      lastWasCr = true;
    } else {
      ++column;
      lastWasCr = false;
    }
  }
}

}  // namespace

void TEntity::Account(const char16_t* p, const char16_t* e) {
  AdvancePosition(p, e, Line_, Column_, LastWasCr_);
}

void TEntity::Position(int32_t& line, int32_t& column) const {
  line = Line_;
  column = Column_;
  bool lastWasCr = LastWasCr_;
  AdvancePosition(Chunk_.data(), Chunk_.data() + std::min(Pos_, Chunk_.size()), line, column, lastWasCr);
  // Characters given back to the input are not read yet.
  column = std::max<int32_t>(1, column - static_cast<int32_t>(Pushback_.size()));
}

void TEntity::InvalidChar(char16_t c) {
  --Pos_;  // report the position of the offending character
  Parser->Fail("Invalid character : #x" + Hex8(c));
}

}  // namespace tessel
