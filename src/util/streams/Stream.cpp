#include "util/streams/Stream.h"

#include <vector>

#include "util/system/Exception.h"

namespace tessel {

int32_t TStream::GetSize() {
  int32_t pos = Seek(0, soCurrent);
  int32_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int32_t) {}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw Exception("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw Exception("Stream write error");
}

int32_t TStream::CopyFrom(TStream& source, int32_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (count <= 0) return 0;
  constexpr int32_t kChunk = 64 * 1024;
  std::vector<char> buf(static_cast<size_t>(count < kChunk ? count : kChunk));
  int32_t done = 0;
  while (done < count) {
    int32_t n = count - done < kChunk ? count - done : kChunk;
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

}  // namespace tessel
