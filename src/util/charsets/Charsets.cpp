#include "util/charsets/Charsets.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "util/charsets/CodePageTables.h"
#include "util/charsets/EightBitCodec.h"
#include "util/charsets/Utf16Codec.h"
#include "util/charsets/Utf7Codec.h"
#include "util/charsets/Utf8Codec.h"
#include "util/charsets/WidestringCodec.h"

namespace tessel {

namespace {

std::string LowerName(std::string_view name) {
  std::string s(name);
  for (char& ch : s)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return s;
}

struct TCodePageEntry {
  const char* Name;
  const char16_t* ToUnicode;
};

// Registration order matters only where a name repeats; the list keeps the
// historical order anyway. "us-ascii" reads 0x80-0xFF as U+0080-U+00FF
// rather than refusing them, as mail mislabelled as ASCII is common.
const TCodePageEntry kCodePages[] = {
    {"", Iso8859_1ToUnicode},
    {"us-ascii", Iso8859_1ToUnicode},
    {"iso-8859-2", Iso8859_2ToUnicode},
    {"iso-8859-1", Iso8859_1ToUnicode},
    {"iso-8859-3", Iso8859_3ToUnicode},
    {"iso-8859-4", Iso8859_4ToUnicode},
    {"iso-8859-5", Iso8859_5ToUnicode},
    {"iso-8859-6", Iso8859_6ToUnicode},
    {"iso-8859-7", Iso8859_7ToUnicode},
    {"iso-8859-8", Iso8859_8ToUnicode},
    {"iso-8859-9", Iso8859_9ToUnicode},
    {"iso-8859-10", Iso8859_10ToUnicode},
    {"iso-8859-11", Iso8859_11ToUnicode},
    {"iso-8859-13", Iso8859_13ToUnicode},
    {"iso-8859-14", Iso8859_14ToUnicode},
    {"iso-8859-15", Iso8859_15ToUnicode},
    {"iso-8859-16", Iso8859_16ToUnicode},
    {"cp-1250", Windows1250ToUnicode},
    {"windows-1250", Windows1250ToUnicode},
};

class TRegistry {
public:
  TRegistry() {
    for (const TCodePageEntry& e : kCodePages)
      Add(e.Name, std::make_unique<T8bitReader>(e.Name, e.ToUnicode),
          std::make_unique<T8bitWriter>(e.Name, e.ToUnicode));
    Add("utf-8", std::make_unique<TUTF8Reader>(), std::make_unique<TUTF8Writer>());
    Add("utf-7", std::make_unique<TUTF7Reader>(), std::make_unique<TUTF7Writer>());
    Add("widestring", std::make_unique<TWidestringReader>(), std::make_unique<TWidestringWriter>());
    Add("utf-16le", std::make_unique<TUTF16Reader>("UTF-16LE", false),
        std::make_unique<TUTF16Writer>("UTF-16LE", false));
    Add("utf-16be", std::make_unique<TUTF16Reader>("UTF-16BE", true), std::make_unique<TUTF16Writer>("UTF-16BE", true));
  }

  // Callers hold Lock exclusively (the constructor needs no lock).
  void Add(const std::string& key, std::unique_ptr<TCharReader> reader, std::unique_ptr<TCharWriter> writer) {
    if (reader) Readers[key] = std::move(reader);
    if (writer) Writers[key] = std::move(writer);
    ++Generation;
  }

  const TCharReader* Reader(const std::string& key) const {
    auto it = Readers.find(key);
    return it == Readers.end() ? nullptr : it->second.get();
  }

  const TCharWriter* Writer(const std::string& key) const {
    auto it = Writers.find(key);
    if (it != Writers.end()) return it->second.get();
    it = Writers.find("iso-8859-2");
    return it == Writers.end() ? nullptr : it->second.get();
  }

  // The user interface runs on one thread, but tests and tools may not;
  // lookups share the lock, registrations take it alone.
  mutable std::shared_mutex Lock;
  std::unordered_map<std::string, std::unique_ptr<TCharReader>> Readers;
  std::unordered_map<std::string, std::unique_ptr<TCharWriter>> Writers;
  uint64_t Generation = 0;  // changes with every registration
};

// The charsets of a message's encoded words are few and repeat: the last
// names looked up, exactly as written, with the reader each found (none for
// an unknown name). Valid while the registry's generation is the same.
struct TLookupCache {
  static constexpr size_t kSize = 4;
  std::string Names[kSize];
  const TCharReader* Readers[kSize] = {};
  bool Used[kSize] = {};
  uint64_t Generation = 0;
  size_t Next = 0;

  // Callers hold the registry's lock (shared).
  const TCharReader* Find(const TRegistry& r, std::string_view name) {
    if (Generation != r.Generation) {
      std::fill(std::begin(Used), std::end(Used), false);
      Generation = r.Generation;
    }
    for (size_t i = 0; i < kSize; ++i)
      if (Used[i] && Names[i] == name) return Readers[i];
    size_t slot = Next++ % kSize;
    Names[slot].assign(name);
    Readers[slot] = r.Reader(LowerName(name));
    Used[slot] = true;
    return Readers[slot];
  }
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

std::unique_ptr<TCharReader> FindCharReader(const std::string& name) {
  TRegistry& r = Registry();
  std::shared_lock lock(r.Lock);
  const TCharReader* proto = r.Reader(LowerName(name));
  return proto ? proto->Clone() : nullptr;
}

std::unique_ptr<TCharWriter> FindCharWriter(const std::string& name) {
  TRegistry& r = Registry();
  std::shared_lock lock(r.Lock);
  const TCharWriter* proto = r.Writer(LowerName(name));
  return proto ? proto->Clone() : nullptr;
}

std::unique_ptr<TCharReader> CreateCharReader(const std::string& name, TStream* stream) {
  std::unique_ptr<TCharReader> reader = FindCharReader(name);
  if (reader) reader->SetStream(stream);
  return reader;
}

std::unique_ptr<TCharWriter> CreateCharWriter(const std::string& name, TStream* stream) {
  std::unique_ptr<TCharWriter> writer = FindCharWriter(name);
  if (writer) writer->SetStream(stream);
  return writer;
}

void RegisterCharset(std::unique_ptr<TCharReader> reader, std::unique_ptr<TCharWriter> writer) {
  TRegistry& r = Registry();
  std::unique_lock lock(r.Lock);
  if (reader) {
    std::string key = LowerName(reader->Name);
    r.Add(key, std::move(reader), nullptr);
  }
  if (writer) {
    std::string key = LowerName(writer->Name);
    r.Add(key, nullptr, std::move(writer));
  }
}

void RegisterCharset(const std::string& name, std::unique_ptr<TCharReader> reader,
                     std::unique_ptr<TCharWriter> writer) {
  TRegistry& r = Registry();
  std::unique_lock lock(r.Lock);
  r.Add(LowerName(name), std::move(reader), std::move(writer));
}

std::string WideToUtf8(const std::u16string& ws) {
  std::string out;
  AppendUtf8(ws.data(), ws.size(), out);
  return out;
}

std::u16string Utf8ToWide(std::string_view s) {
  // The text ends at its first zero byte; nothing after it is looked at.
  const void* zero = std::memchr(s.data(), 0, s.size());
  if (zero) s = s.substr(0, static_cast<size_t>(static_cast<const char*>(zero) - s.data()));
  std::u16string out;
  DecodeUtf8(s, out);
  return out;
}

std::optional<std::u16string> CharsetToWide(const std::string& name, std::string_view bytes) {
  // A clone rather than the prototype, so that the registry is not locked
  // while a long text converts.
  std::unique_ptr<TCharReader> reader = FindCharReader(name);
  if (!reader) return std::nullopt;
  std::u16string out;
  reader->DecodeBytes(bytes, out);
  return out;
}

std::optional<bool> AppendCharsetLenientUtf8(std::string_view name, std::string_view bytes, std::string& out) {
  TRegistry& r = Registry();
  thread_local TLookupCache cache;
  std::shared_lock lock(r.Lock);
  const TCharReader* proto = cache.Find(r, name);
  if (!proto) return std::nullopt;
  // Decoding leaves the reader as it was (the method is const), so the
  // registered one serves; the shared lock keeps it from being replaced.
  return proto->DecodeBytesLenientUtf8(bytes, out);
}

std::optional<std::string> CharsetToUtf8(const std::string& name, std::string_view bytes) {
  std::unique_ptr<TCharReader> reader = FindCharReader(name);
  if (!reader) return std::nullopt;
  std::string out;
  reader->DecodeBytesUtf8(bytes, out);
  return out;
}

}  // namespace tessel
