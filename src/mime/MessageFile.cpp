#include "MessageFile.h"

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

#include "util/FileStream.h"
#include "util/WinError.h"

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

// The text of bytes [data, data + size) that keeper keeps, with the line-end
// rule applied (the converted copy then replaces them). mapped, when the
// bytes are a mapped file, lets the conversion give back what it has copied.
std::unique_ptr<TText> Finish(const char* data, size_t size, std::shared_ptr<const void> keeper,
                              const TMappedFile* mapped, const std::string& fileName) {
  std::string_view bytes(data, size);
  if (!HasBareLfHeader(bytes)) return TText::CreateOver(data, static_cast<int32_t>(size), std::move(keeper));
  size_t converted = size + BareLfCount(bytes);
  // Offsets into a message are 32-bit; CR LF conversion can push a file
  // that was just small enough over the limit.
  if (converted > kMaxText) RaiseFileError("Cannot read file", fileName, EFBIG);
  std::shared_ptr<TBlock> block = NewBlock(converted);
  char* out = block->Data();
  constexpr size_t kChunk = size_t(8) << 20;
  for (size_t from = 0; from < size; from += kChunk) {
    size_t to = std::min(size, from + kChunk);
    out = ExpandRange(data, from, to, out);
    if (mapped) mapped->Release(to);
  }
  const char* start = block->Data();
  return TText::CreateOver(start, static_cast<int32_t>(converted), std::move(block));
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

std::unique_ptr<TText> LoadMessageText(const std::string& fileName, TFileAccess access) {
  TFileStream file(fileName, TFileMode::OpenRead);
  struct stat st;
  if (::fstat(file.Handle(), &st) != 0) RaiseFileError("Cannot read file", fileName, errno);
  if (!S_ISREG(st.st_mode)) {
    // Pipes and devices: read to the end, however long.
    std::string bytes = ReadFileBytes(fileName);
    ApplyLineEndRule(bytes);
    if (bytes.size() > kMaxText) RaiseFileError("Cannot read file", fileName, EFBIG);
    return std::make_unique<TText>(std::move(bytes));
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxText) RaiseFileError("Cannot read file", fileName, EFBIG);
  size_t size = static_cast<size_t>(st.st_size);
  if (access == TFileAccess::Map) {
    auto mapped = std::make_shared<TMappedFile>(file.Handle(), size);
    if (mapped->Data()) {
      const char* data = mapped->Data();
      const TMappedFile* view = mapped.get();
      return Finish(data, size, std::move(mapped), view, fileName);
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
  const char* data = block->Data();
  return Finish(data, done, std::move(block), nullptr, fileName);
}

std::string ReadMessageFile(const std::string& fileName) {
  std::unique_ptr<TText> text = LoadMessageText(fileName);
  return std::string(text->Start(), static_cast<size_t>(text->Length()));
}

std::unique_ptr<TMessage> LoadMessageFile(const std::string& fileName, TFileAccess access) {
  return std::make_unique<TMessage>(LoadMessageText(fileName, access));
}

}  // namespace tessel
