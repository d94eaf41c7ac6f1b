#include "mime/MessageFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "mime/MimeParser.h"
#include "util/charsets/Charsets.h"
#include "util/streams/FileStream.h"
#include "util/text/StringUtils.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

constexpr size_t kMaxText = static_cast<size_t>(std::numeric_limits<int32_t>::max());

// Bare LFs are counted and expanded 16 bytes at a time where the processor
// allows it: LF-only files are the common case here, and a loop that stops
// at every line costs more than the whole parse of a large message.
size_t BareLfCount(std::string_view bytes) {
  const char* data = bytes.data();
  size_t size = bytes.size(), i = 1, bare = size > 0 && data[0] == '\n' ? 1 : 0;
#ifdef __SSE2__
  // Each lane counts down by one per bare LF (a compare gives -1), and the
  // lanes are summed before any of them can wrap: no per-chunk bit count.
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  while (i + 16 <= size) {
    __m128i lanes = zero;
    for (int round = 0; round < 255 && i + 16 <= size; ++round, i += 16) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i - 1));
      __m128i bareLf = _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf));
      lanes = _mm_sub_epi8(lanes, bareLf);
    }
    __m128i sums = _mm_sad_epu8(lanes, zero);
    bare += static_cast<size_t>(_mm_cvtsi128_si64(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < size; ++i)
    if (data[i] == '\n' && data[i - 1] != '\r') ++bare;
  return bare;
}

// Writes data[from, to) with every bare LF as CR LF to out (room for the
// result) and returns the end of what it wrote. A CR before from counts.
char* ExpandRange(const char* data, size_t from, size_t to, char* out) {
  size_t i = from;
  auto put = [&](size_t k) {
    if (data[k] == '\n' && (k == 0 || data[k - 1] != '\r')) *out++ = '\r';
    *out++ = data[k];
  };
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  for (; i + 16 <= to; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    unsigned lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
    if (!lfs) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
      out += 16;
      continue;
    }
    // Up to each LF as one copy, then the line end.
    size_t start = i;
    while (lfs) {
      size_t k = i + static_cast<size_t>(__builtin_ctz(lfs));
      lfs &= lfs - 1;
      std::memcpy(out, data + start, k - start);
      out += k - start;
      put(k);
      start = k + 1;
    }
    std::memcpy(out, data + start, i + 16 - start);
    out += i + 16 - start;
  }
#endif
  for (; i < to; ++i) put(i);
  return out;
}

void ExpandInto(std::string_view bytes, char* out) { ExpandRange(bytes.data(), 0, bytes.size(), out); }

// A block of memory that is not zero-filled first, with a closing NUL.
// Large blocks come straight from the kernel, asking for huge pages: filling
// a 100 MB block page by page costs more than the whole parse.
class TBlock {
public:
  explicit TBlock(size_t size) : Size_(size + 1) {
    if (Size_ >= kLarge) {
      void* p = mmap(nullptr, Size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p != MAP_FAILED) {
        madvise(p, Size_, MADV_HUGEPAGE);
        Data_ = static_cast<char*>(p);
        Mapped_ = true;
      }
    }
    if (!Data_) Data_ = new char[Size_];
    Data_[size] = '\0';
  }
  ~TBlock() {
    if (Mapped_)
      munmap(Data_, Size_);
    else
      delete[] Data_;
  }
  TBlock(const TBlock&) = delete;
  TBlock& operator=(const TBlock&) = delete;
  char* Data() const { return Data_; }

private:
  static constexpr size_t kLarge = size_t(4) << 20;
  size_t Size_;
  char* Data_ = nullptr;
  bool Mapped_ = false;
};

std::shared_ptr<TBlock> NewBlock(size_t size) { return std::make_shared<TBlock>(size); }

// A read-only private mapping of a file with at least one zero byte after
// its data: the whole span is first reserved as zero pages, then the file
// is mapped over its start.
class TMappedFile {
public:
  TMappedFile(int fd, size_t size) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    Span_ = (size / page + 1) * page;
    void* base = mmap(nullptr, Span_, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return;
    if (size > 0 && mmap(base, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0) == MAP_FAILED) {
      munmap(base, Span_);
      return;
    }
    Base_ = static_cast<const char*>(base);
  }
  ~TMappedFile() {
    if (Base_) munmap(const_cast<char*>(Base_), Span_);
  }
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  const char* Data() const { return Base_; }
  // Gives back the pages wholly inside [0, end): a converted copy has taken
  // their bytes over, and the peak memory of a conversion stays near one copy.
  void Release(size_t end) const {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (Base_ && end >= page) madvise(const_cast<char*>(Base_), end / page * page, MADV_DONTNEED);
  }

private:
  const char* Base_ = nullptr;
  size_t Span_ = 0;
};

// A file's bytes as they are in memory: data[0, size) followed by a zero
// byte, kept alive by Keeper. Mapped is set when the bytes are a mapped file.
struct TRawBytes {
  const char* Data = nullptr;
  size_t Size = 0;
  std::shared_ptr<const void> Keeper;
  const TMappedFile* Mapped = nullptr;
  std::string_view View() const { return std::string_view(Data, Size); }
};

// The text of raw's bytes with the line-end rule applied (the converted copy
// then replaces them). With release, a mapped file gives back the pages the
// conversion has copied, so that its peak memory stays near one copy.
std::unique_ptr<TText> Finish(const TRawBytes& raw, const std::string& fileName, bool release) {
  std::string_view bytes = raw.View();
  if (!HasBareLfHeader(bytes)) return TText::CreateOver(raw.Data, static_cast<int32_t>(raw.Size), raw.Keeper);
  size_t converted = raw.Size + BareLfCount(bytes);
  // Offsets into a message are 32-bit; CR LF conversion can push a file
  // that was just small enough over the limit.
  if (converted > kMaxText) RaiseFileError("Cannot read file", fileName, EFBIG);
  std::shared_ptr<TBlock> block = NewBlock(converted);
  char* out = block->Data();
  constexpr size_t kChunk = size_t(8) << 20;
  for (size_t from = 0; from < raw.Size; from += kChunk) {
    size_t to = std::min(raw.Size, from + kChunk);
    out = ExpandRange(raw.Data, from, to, out);
    if (release && raw.Mapped) raw.Mapped->Release(to);
  }
  const char* start = block->Data();
  return TText::CreateOver(start, static_cast<int32_t>(converted), std::move(block));
}

// Pipes and devices have no size to check first: they are read in steps
// up to the limit a file has, and a longer input is refused, not read on.
TRawBytes ReadStream(int fd, const std::string& fileName) {
  auto bytes = std::make_shared<std::string>();
  constexpr size_t kStep = size_t(1) << 16;
  while (true) {
    size_t have = bytes->size();
    if (have > kMaxText) RaiseFileError("Cannot read file", fileName, EFBIG);
    bytes->resize(have + kStep);
    ssize_t n = ::read(fd, bytes->data() + have, kStep);
    if (n < 0 && errno == EINTR) {
      bytes->resize(have);
      continue;
    }
    if (n < 0) RaiseFileError("Cannot read file", fileName, errno);
    bytes->resize(have + static_cast<size_t>(n));
    if (n == 0) break;
  }
  bytes->shrink_to_fit();
  TRawBytes raw;
  raw.Data = bytes->c_str();
  raw.Size = bytes->size();
  raw.Keeper = std::move(bytes);
  return raw;
}

TRawBytes ReadRaw(const std::string& fileName, TFileAccess access) {
  TFileStream file(fileName, TFileMode::OpenRead);
  struct stat st;
  if (::fstat(file.Handle(), &st) != 0) RaiseFileError("Cannot read file", fileName, errno);
  if (!S_ISREG(st.st_mode)) return ReadStream(file.Handle(), fileName);
  if (static_cast<uint64_t>(st.st_size) > kMaxText) RaiseFileError("Cannot read file", fileName, EFBIG);
  size_t size = static_cast<size_t>(st.st_size);
  TRawBytes raw;
  if (access == TFileAccess::Map) {
    auto mapped = std::make_shared<TMappedFile>(file.Handle(), size);
    if (mapped->Data()) {
      raw.Data = mapped->Data();
      raw.Size = size;
      raw.Mapped = mapped.get();
      raw.Keeper = std::move(mapped);
      return raw;
    }
  }
  std::shared_ptr<TBlock> block = NewBlock(size);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(file.Handle(), block->Data() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseFileError("Cannot read file", fileName, errno);
    if (n == 0) break;  // the file shrank meanwhile: take what is there
    done += static_cast<size_t>(n);
  }
  block->Data()[done] = '\0';
  raw.Data = block->Data();
  raw.Size = done;
  raw.Keeper = std::move(block);
  return raw;
}

// The line-end rule runs before the parse and cannot know which bodies are
// binary: a body declared "binary" in a converted file may have lost bytes
// (every bare LF became CR LF), and a signature over it will not verify.
// Such parts say so among their findings.
void NoteConvertedBinaryBodies(TBodyPart& part) {
  if (LowerCase(WideToUtf8(part.TransferEncoding)) == "binary" && part.RawSize() > 0 &&
      part.Text->GetView(part.BodyStart, part.BodyEnd).find("\r\n") != std::string_view::npos)
    part.Problems.Add(kConvertedBinaryBody);
  for (int32_t i = 0; i < part.ChildCount(); ++i) NoteConvertedBinaryBodies(*part.Children(i));
}

// added: the CRs the line-end rule put in. The finding sits at the first
// line end it converted: the header block has no CR, so that is the
// first LF.
void NoteConversion(TMessage& message, int64_t added) {
  if (added <= 0) return;
  for (int32_t i = 0; i < message.RootCount(); ++i)
    if (message.Roots(i)->Text == message.Text.get()) NoteConvertedBinaryBodies(*message.Roots(i));
  if (!message.RootPart) return;
  std::string_view text = message.Text->GetView(0, message.Text->Length());
  size_t lf = text.find('\n');
  const int64_t crs = static_cast<int64_t>(std::count(text.begin(), text.end(), '\r'));
  TBodyPart& root = *message.RootPart;
  root.Findings.insert(root.Findings.begin(),
                       TFinding{lf == std::string_view::npos || lf == 0 ? 0 : static_cast<int64_t>(lf) - 1,
                                LineEndFinding(added, crs > added)});
}

// A bare PKCS #7 object opens as a message of one S/MIME part: the header
// that says so, then the bytes as they are.
std::unique_ptr<TMessage> OpenBarePkcs7(std::string_view bytes, const TParseOptions& options) {
  static constexpr std::string_view kHeader = "Content-Type: application/pkcs7-mime\r\n\r\n";
  if (bytes.size() > kMaxText - kHeader.size()) RaiseFileError("Cannot read file", "", EFBIG);
  std::string message;
  message.reserve(kHeader.size() + bytes.size());
  message.append(kHeader).append(bytes);
  return std::make_unique<TMessage>(std::move(message), options);
}

}  // namespace

bool HasBareLfHeader(std::string_view bytes) {
  const char* data = bytes.data();
  size_t size = bytes.size();
  size_t from = 0;
  bool sawLf = false;
  while (true) {
    const void* hit = std::memchr(data + from, '\n', size - from);
    size_t lf = hit ? static_cast<size_t>(static_cast<const char*>(hit) - data) : size;
    if (std::memchr(data + from, '\r', lf - from)) return false;
    if (!hit) return sawLf;
    sawLf = true;
    if (lf == 0 || data[lf - 1] == '\n') return true;  // the first empty line closes the header block
    from = lf + 1;
  }
}

std::string ExpandBareLf(std::string_view bytes) {
  std::string out(bytes.size() + BareLfCount(bytes), '\0');
  ExpandInto(bytes, out.data());
  return out;
}

bool ApplyLineEndRule(std::string& bytes) {
  if (!HasBareLfHeader(bytes)) return false;
  std::string converted = ExpandBareLf(bytes);
  bytes.swap(converted);
  return true;
}

bool IsBarePkcs7(std::string_view bytes) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() < 2 || at(0) != 0x30) return false;
  // The SEQUENCE's length: short, indefinite or up to four octets long.
  size_t i = 2;
  if (at(1) > 0x80) {
    size_t octets = at(1) - 0x80u;
    if (octets > 4) return false;
    i += octets;
  }
  // Then an OBJECT IDENTIFIER below 1.2.840.113549.1.7 (at least one arc more).
  static constexpr unsigned char kPkcs7[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07};
  if (bytes.size() < i + 2 || at(i) != 0x06) return false;
  size_t length = at(i + 1);
  i += 2;
  if (length <= sizeof kPkcs7 || length >= 0x80 || bytes.size() < i + length) return false;
  return std::memcmp(bytes.data() + i, kPkcs7, sizeof kPkcs7) == 0;
}

std::unique_ptr<TText> LoadMessageText(const std::string& fileName, TFileAccess access) {
  return Finish(ReadRaw(fileName, access), fileName, true);
}

std::string ReadMessageFile(const std::string& fileName) {
  std::unique_ptr<TText> text = LoadMessageText(fileName);
  return std::string(text->Start(), static_cast<size_t>(text->Length()));
}

std::unique_ptr<TMessage> OpenMessageFile(const std::string& fileName, const TParseOptions& options,
                                          TFileAccess access) {
  TRawBytes raw = ReadRaw(fileName, access);
  // Judged on the bytes as stored: the line-end rule may rewrite DER.
  const bool bare = IsBarePkcs7(raw.View());
  std::unique_ptr<TText> text = Finish(raw, fileName, !bare);
  const int64_t added = static_cast<int64_t>(text->Length()) - static_cast<int64_t>(raw.Size);
  if (!bare) raw = TRawBytes();  // the text keeps what it needs
  try {
    auto message = std::make_unique<TMessage>(std::move(text), options);
    NoteConversion(*message, added);
    return message;
  } catch (const EMimeParseError&) {
    if (!bare) throw;
  }
  return OpenBarePkcs7(raw.View(), options);
}

std::unique_ptr<TMessage> OpenMessageBytes(std::string bytes, const TParseOptions& options) {
  std::string original;
  const bool bare = IsBarePkcs7(bytes);
  if (bare) original = bytes;
  const int64_t before = static_cast<int64_t>(bytes.size());
  ApplyLineEndRule(bytes);
  const int64_t added = static_cast<int64_t>(bytes.size()) - before;
  try {
    auto message = std::make_unique<TMessage>(std::move(bytes), options);
    NoteConversion(*message, added);
    return message;
  } catch (const EMimeParseError&) {
    if (!bare) throw;
  }
  return OpenBarePkcs7(original, options);
}

}  // namespace tessel
