#include "xml/Entity.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "xml/KeyText.h"
#include "xml/QXMLParser.h"
#include "util/charsets/Charsets.h"
#include "util/streams/FileStream.h"
#include "util/streams/MemoryStream.h"
#include "util/text/StringUtils.h"

namespace tessel {

namespace {

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

}  // namespace

TEntity::TEntity(TQXMLParser& parser, uint8_t kind) : EntityKind(kind), Parser(&parser) {}

TEntity::~TEntity() = default;

void TEntity::CloseInput() {
  Source_ = nullptr;
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
  Pos_ = End_ = 0;
  Careful_ = true;
  BulkUtf8_ = false;
  Pending_ = nullptr;
  OwnBytes_.clear();
  Source_ = nullptr;
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
    std::u16string rest(Chunk_.data() + Pos_, Chunk_.data() + End_);
    Pushback_.insert(Pushback_.begin(), rest.rbegin(), rest.rend());
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
    // Read as decoded, through a window.
    Source_ = s;
    OwnBytes_.resize(kWindowBytes);
    Bytes_ = OwnBytes_.data();
    BytePos_ = ByteCount_ = 0;
    TopUp();
    return;
  }
  BytePos_ = static_cast<size_t>(pos);
  ByteCount_ = static_cast<size_t>(std::max(pos, size));
  s->SetPosition(size);
  SourceEmpty_ = BytePos_ >= ByteCount_;
}

void TEntity::TopUp() {
  size_t rest = ByteCount_ - BytePos_;
  if (rest > 0 && BytePos_ > 0) std::memmove(OwnBytes_.data(), OwnBytes_.data() + BytePos_, rest);
  BytePos_ = 0;
  ByteCount_ = rest;
  while (Source_ && ByteCount_ < OwnBytes_.size()) {
    int32_t got = Source_->Read(OwnBytes_.data() + ByteCount_, static_cast<int32_t>(OwnBytes_.size() - ByteCount_));
    if (got <= 0)
      Source_ = nullptr;  // the stream is read to its end
    else
      ByteCount_ += static_cast<size_t>(got);
  }
  SourceEmpty_ = ByteCount_ == 0 && !Source_;
}

void TEntity::DecodeAhead() {
  // The chunk keeps its size; End_ marks the units in use, so no call
  // fills memory that is overwritten right after.
  if (Chunk_.size() < kChunkUnits) Chunk_.resize(kChunkUnits);
  char16_t* out = Chunk_.data();
  size_t n = 0;
  Pos_ = 0;
  try {
    if (!BulkUtf8_) {
      while (n < kChunkUnits && !Reader_->Eof()) out[n++] = Reader_->ReadChar();
    } else {
      // ASCII is widened here; runs of other bytes go through the decoder,
      // which checks them with its own rules and messages. A run is cut
      // at an ASCII byte, which never continues a sequence. A window over
      // a stream holds more bytes than a chunk can take (at most three a
      // unit, and one sequence), or the rest of the input: no run is cut
      // by the window's end.
      static_assert(kWindowBytes / 2 >= 3 * kChunkUnits + 4);
      if (Source_ && ByteCount_ - BytePos_ < kWindowBytes / 2) TopUp();
      const uint8_t* p = reinterpret_cast<const uint8_t*>(Bytes_) + BytePos_;
      const uint8_t* e = reinterpret_cast<const uint8_t*>(Bytes_) + ByteCount_;
      std::u16string run;
      while (p < e && n < kChunkUnits) {
        size_t room = kChunkUnits - n;
        const uint8_t* stop = p + std::min<size_t>(room, static_cast<size_t>(e - p));
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        while (stop - p >= 16) {
          __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
          if (_mm_movemask_epi8(v)) break;
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(v, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), _mm_unpackhi_epi8(v, zero));
          n += 16;
          p += 16;
        }
#endif
        while (stop - p >= 8) {
          uint64_t w;
          std::memcpy(&w, p, 8);
          if (w & 0x8080808080808080ull) break;
          for (int i = 0; i < 8; ++i) out[n + i] = p[i];
          n += 8;
          p += 8;
        }
        while (p < stop && *p < 0x80) out[n++] = *p++;
        if (p == e || n == kChunkUnits) break;
        if (*p < 0x80) continue;
        const uint8_t* q = p;
        while (q < e && *q >= 0x80) ++q;
        // A run gives at most as many units as it has bytes.
        if (static_cast<size_t>(q - p) > kChunkUnits - n) {
          if (n > 0) break;
          q = p + (kChunkUnits - n);
          while (q > p && (*q & 0xC0) == 0x80) --q;  // keep sequences whole
          if (q == p) {
            // Only continuation bytes after the lead: take the lead's own
            // sequence so the decoder reports the byte after it.
            size_t len = *p >= 0xF0 ? 4 : *p >= 0xE0 ? 3 : *p >= 0xC0 ? 2 : 1;
            q = p + len;
          }
        }
        run.clear();
        BytePos_ = static_cast<size_t>(p - reinterpret_cast<const uint8_t*>(Bytes_));
        std::string_view bytes(reinterpret_cast<const char*>(p), static_cast<size_t>(q - p));
        try {
          Reader_->DecodeBytes(bytes, run);
        } catch (...) {
          std::memcpy(out + n, run.data(), run.size() * sizeof(char16_t));
          n += run.size();
          BytePos_ = static_cast<size_t>(e - reinterpret_cast<const uint8_t*>(Bytes_));
          throw;
        }
        std::memcpy(out + n, run.data(), run.size() * sizeof(char16_t));
        n += run.size();
        p = q;
      }
      BytePos_ = static_cast<size_t>(p - reinterpret_cast<const uint8_t*>(Bytes_));
    }
  } catch (const Exception&) {
    Pending_ = std::current_exception();
  }
  End_ = n;
  SourceEmpty_ = !Pending_ && (BulkUtf8_ ? BytePos_ >= ByteCount_ && !Source_ : Reader_->Eof());
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
      char16_t c = Reader_->ReadChar();
      if (Chunk_.empty()) Chunk_.resize(1);
      Chunk_[0] = c;
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

void AdvancePosition(const char16_t* p, const char16_t* e, int32_t& line, int32_t& column, bool& lastWasCr) {
  // Counts line ends (CR LF as one) and the units after the last one. Eight
  // units without a CR are counted at once; four without any unit below
  // U+000E are skipped; the rest goes unit by unit.
  if (p == e) return;
#if defined(__SSE2__)
  {
    // Most input has no CR at all: then the line ends are its LFs, counted
    // sixteen at a time, and the column follows the last one.
    const __m128i lfs = _mm_set1_epi16(u'\n'), crs = _mm_set1_epi16(u'\r');
    __m128i crSeen = _mm_setzero_si128();
    int64_t count = 0;
    const char16_t* q = p;
    while (e - q >= 8) {
      __m128i counts = _mm_setzero_si128();
      // Each lane counts at most 4097 LFs before it is added up.
      for (int k = 0; k < 2048 && e - q >= 16; ++k, q += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 8));
        counts = _mm_sub_epi16(counts, _mm_add_epi16(_mm_cmpeq_epi16(v, lfs), _mm_cmpeq_epi16(w, lfs)));
        crSeen = _mm_or_si128(crSeen, _mm_or_si128(_mm_cmpeq_epi16(v, crs), _mm_cmpeq_epi16(w, crs)));
      }
      if (e - q >= 8 && e - q < 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        counts = _mm_sub_epi16(counts, _mm_cmpeq_epi16(v, lfs));
        crSeen = _mm_or_si128(crSeen, _mm_cmpeq_epi16(v, crs));
        q += 8;
      }
      alignas(16) uint16_t lanes[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counts);
      for (uint16_t n : lanes) count += n;
    }
    bool cr = _mm_movemask_epi8(crSeen) != 0;
    for (; q < e && !cr; ++q) {
      count += *q == u'\n';
      cr = *q == u'\r';
    }
    if (!cr) {
      // An LF that follows a CR at the end of the previous run belongs to it.
      if (lastWasCr && *p == u'\n') --count;
      const char16_t* last = e;
      while (last > p && last[-1] != u'\n') --last;
      line += static_cast<int32_t>(count);
      column = last > p ? static_cast<int32_t>(e - last) + 1 : column + static_cast<int32_t>(e - p);
      lastWasCr = false;
      return;
    }
  }
#endif
  int32_t ends = 0;
  const char16_t* last = nullptr;
  bool prevCr = lastWasCr;
  const char16_t* q = p;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi16(u'\n'), cr = _mm_set1_epi16(u'\r');
#endif
  while (q < e) {
#if defined(__SSE2__)
    if (e - q >= 8) {
      // Eight units without a CR: their LFs are counted at once (an LF
      // right after a CR of the units before belongs to that CR).
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, cr)) == 0) {
        unsigned lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, lf)));
        if (lfs) {
          ends += __builtin_popcount(lfs) / 2 - (prevCr && (lfs & 1) ? 1 : 0);
          last = q + (31 - __builtin_clz(lfs)) / 2 + 1;
        }
        q += 8;
        prevCr = false;
        continue;
      }
    }
#endif
    if (e - q >= 4) {
      uint64_t w;
      std::memcpy(&w, q, 8);
      if (((w - 0x000E000E000E000Eull) & ~w & 0x8000800080008000ull) == 0) {
        q += 4;
        prevCr = false;
        continue;
      }
    }
    char16_t c = *q++;
    if (c == u'\n') {
      if (!prevCr) ++ends;
      last = q;
    } else if (c == u'\r') {
      ++ends;
      last = q;
    }
    prevCr = c == u'\r';
  }
  line += ends;
  column = last ? static_cast<int32_t>(e - last) + 1 : column + static_cast<int32_t>(e - p);
  lastWasCr = prevCr;
}

}  // namespace

void TEntity::Account(const char16_t* p, const char16_t* e) { AdvancePosition(p, e, Line_, Column_, LastWasCr_); }

void TEntity::Position(int32_t& line, int32_t& column) const {
  line = Line_;
  column = Column_;
  bool lastWasCr = LastWasCr_;
  AdvancePosition(Chunk_.data(), Chunk_.data() + std::min(Pos_, End_), line, column, lastWasCr);
  // Characters given back to the input are not read yet.
  column = std::max<int32_t>(1, column - static_cast<int32_t>(Pushback_.size()));
}

void TEntity::InvalidChar(char16_t c) {
  --Pos_;  // report the position of the offending character
  Parser->Fail("Invalid character : #x" + Hex8(c));
}

}  // namespace tessel
