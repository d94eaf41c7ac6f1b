// What the fuzz targets share: a check that aborts with a message (so that
// libFuzzer keeps the input), the walk over a parsed message that touches
// everything a reader of the message would, and a file holding the input for
// the paths that load files.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mime/Message.h"
#include "mime/StructureListing.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"

#define FUZZ_CHECK(cond, what)                                                           \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace tessel::fuzz {

// A stream that counts what is written and keeps nothing: decoded content
// can be far larger than the input (that is what rss_limit_mb watches in the
// parsers, not in the sink).
class TCountingStream : public TStream {
public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    Sum += p[0] + p[count - 1];
    Bytes += count;
    return count;
  }
  int32_t Seek(int32_t, int) override { return static_cast<int32_t>(Bytes); }
  int32_t GetSize() override { return static_cast<int32_t>(Bytes); }
  int64_t Bytes = 0;
  uint64_t Sum = 0;
};

// One part as the windows and the commands use it: every header, the field
// lookups, raw, decoded and whole content, the header text and the listing
// line. Returns the listing line.
inline std::string TouchPart(const std::string& path, TBodyPart& part) {
  std::string line = FormatPartLine(path, part);
  FUZZ_CHECK(part.Text != nullptr, "part without text");
  int32_t length = part.Text->Length();
  FUZZ_CHECK(part.HeaderStart >= 0 && part.HeaderStart <= length, "header start outside the text");
  FUZZ_CHECK(part.BodyStart >= 0 && part.BodyStart <= length, "body start outside the text");
  FUZZ_CHECK(part.BodyEnd >= 0 && part.BodyEnd <= length, "body end outside the text");
  for (int32_t i = 0; i < part.HeaderCount(); ++i) {
    std::string value = part.GetFieldUtf8(part.HeaderName(i));
    (void)value;
    (void)part.FieldValue(part.HeaderName(i));
  }
  for (const char* name : {"content-type", "boundary", "charset", "name", "filename", "content-id", "subject"})
    (void)part.GetField(name);
  TCountingStream sink;
  part.GetRawContent(sink);
  FUZZ_CHECK(sink.Bytes == part.RawSize(), "raw content length differs from RawSize");
  TCountingStream decoded;
  try {
    part.GetDecodedContent(decoded);
  } catch (const Exception&) {
    // a broken base64 body: reported to the user, the bytes before it kept
  }
  TCountingStream whole;
  part.GetWholePart(whole);
  std::string raw = part.GetRawText();
  FUZZ_CHECK(static_cast<int64_t>(raw.size()) == part.RawSize(), "raw text length differs from RawSize");
  std::u16string header = part.GetHeaderText();
  (void)header;
  return line;
}

// Depth first over every root, embedded messages (and decoded S/MIME
// layers) expanded, as the structure listing walks. Returns the listing.
inline std::string WalkPart(TBodyPart& part, const std::string& path) {
  TBodyPart* inner = nullptr;
  std::string listing;
  try {
    inner = part.InnerRoot();
  } catch (const Exception& e) {
    listing += path + " failed: " + e.Message() + "\n";
  }
  listing += TouchPart(path, part) + "\n";
  if (inner) return listing + WalkPart(*inner, path + ".1");
  for (int32_t i = 0; i < part.ChildCount(); ++i)
    listing += WalkPart(*part.Children(i), path + "." + std::to_string(i + 1));
  return listing;
}

inline std::string WalkMessage(TMessage& message) {
  std::string listing;
  for (int32_t i = 0; i < message.RootCount(); ++i) listing += WalkPart(*message.Roots(i), std::to_string(i + 1));
  for (TBodyPart* part : message.Attachments) FUZZ_CHECK(part != nullptr, "null attachment");
  for (const TContentId& id : message.ContentIds)
    FUZZ_CHECK(message.FindContentId(id.Id) != nullptr, "content id not found");
  return listing;
}

// A file in memory that holds the current input, for loaders that take a
// file name.
class TInputFile {
public:
  TInputFile() {
    Fd_ = memfd_create("fuzz-input", 0);
    if (Fd_ < 0) std::abort();
    Path_ = "/proc/self/fd/" + std::to_string(Fd_);
  }
  const std::string& Store(const uint8_t* data, size_t size) {
    if (ftruncate(Fd_, 0) != 0) std::abort();
    size_t done = 0;
    while (done < size) {
      ssize_t n = pwrite(Fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
    return Path_;
  }

private:
  int Fd_ = -1;
  std::string Path_;
};

}  // namespace tessel::fuzz
