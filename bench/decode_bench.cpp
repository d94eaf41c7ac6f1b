// Transfer decoding of a large message body into the default output stream,
// the work done when a user opens a big attachment.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "util/encodings/Base64.h"
#include "util/streams/ChainMemoryStream.h"
#include "util/streams/MemoryStream.h"
#include "util/encodings/QuotedPrintable.h"

using namespace tessel;

namespace {

constexpr size_t kInputBytes = 100u * 1000 * 1000;

// Random binary data encoded in 76-character lines ending in CR LF.
const std::string& Base64Text() {
  static const std::string text = [] {
    std::mt19937 rng(1);
    std::string data(kInputBytes / 4 * 3, '\0');
    for (auto& c : data) c = static_cast<char>(rng());
    TStringStream out;
    Base64EncodeBuffer(data.data(), static_cast<int32_t>(data.size()), out);
    return out.TakeDataString();
  }();
  return text;
}

// Mostly plain text lines of up to 76 characters with escaped accented
// letters and soft line breaks, like a long European-language message.
const std::string& QuotedPrintableText() {
  static const std::string text = [] {
    static const char* words[] = {"the",       "message", "K=C3=B6ln", "Stra=C3=9Fe",  "r=C3=A9sum=C3=A9",
                                  "and",       "file",    "viewer",    "=E2=82=AC100", "na=C3=AFve",
                                  "body",      "header",  "part",      "=3D",          "boundary",
                                  "caf=C3=A9", "order",   "attachment"};
    std::mt19937 rng(2);
    std::string t;
    t.reserve(kInputBytes + 100);
    size_t line = 0;
    while (t.size() < kInputBytes) {
      const char* w = words[rng() % (sizeof words / sizeof *words)];
      size_t n = std::char_traits<char>::length(w);
      if (line + n + 1 > 75) {
        t += rng() % 3 ? "=\r\n" : "\r\n";
        line = 0;
      }
      t += w;
      t += ' ';
      line += n + 1;
    }
    return t;
  }();
  return text;
}

void BM_Base64Decode(benchmark::State& state) {
  const std::string& text = Base64Text();
  for (auto _ : state) {
    TChainMemoryStream out;
    Base64DecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
    benchmark::DoNotOptimize(out.GetSize());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_QuotedPrintableDecode(benchmark::State& state) {
  const std::string& text = QuotedPrintableText();
  for (auto _ : state) {
    TChainMemoryStream out;
    QPDecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
    benchmark::DoNotOptimize(out.GetSize());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// The same into a stream whose blocks are already in memory: the decoders'
// own speed, without the cost of the system handing out fresh pages (which
// on some virtual machines exceeds the decoding itself).
void BM_Base64DecodeWarm(benchmark::State& state) {
  const std::string& text = Base64Text();
  TChainMemoryStream out;
  for (auto _ : state) {
    out.Seek(0, soBeginning);
    Base64DecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
    benchmark::DoNotOptimize(out.GetSize());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_QuotedPrintableDecodeWarm(benchmark::State& state) {
  const std::string& text = QuotedPrintableText();
  TChainMemoryStream out;
  for (auto _ : state) {
    out.Seek(0, soBeginning);
    QPDecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
    benchmark::DoNotOptimize(out.GetSize());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QuotedPrintableDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Base64DecodeWarm)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QuotedPrintableDecodeWarm)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
