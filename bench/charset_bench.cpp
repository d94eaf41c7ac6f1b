// Charset conversion throughput: whole-string helpers on 100 MB of text,
// and the unit-by-unit readers on 10 MB for comparison.
//
// The plain figures include allocating the result, which on machines with
// slow page faults costs more than the conversion; the "Reused" ones
// convert into a buffer kept from the previous iteration and show the cost
// of the conversion loop itself.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "util/charsets/Charsets.h"
#include "util/streams/MemoryStream.h"
#include "util/charsets/Utf8Codec.h"

using namespace tessel;

namespace {

constexpr size_t kBig = 100u << 20;
constexpr size_t kSmall = 10u << 20;

// Czech-like Latin-2 text: words of ASCII letters with about one accented
// letter (a byte 0xA1-0xFE) in seven, separated by blanks and line breaks.
const std::string& Latin2Text() {
  static const std::string text = [] {
    std::mt19937 rng(1250);
    std::string s;
    s.reserve(kBig);
    while (s.size() < kBig) {
      uint32_t r = static_cast<uint32_t>(rng() % 100);
      if (r < 14)
        s.push_back(static_cast<char>(0xA1 + rng() % 0x5E));
      else if (r < 28)
        s.push_back(r < 26 ? ' ' : '\n');
      else
        s.push_back(static_cast<char>('a' + rng() % 26));
    }
    s.resize(kBig);
    return s;
  }();
  return text;
}

const std::u16string& WideText() {
  static const std::u16string text = *CharsetToWide("iso-8859-2", Latin2Text());
  return text;
}

const std::string& Utf8Text() {
  static const std::string text = WideToUtf8(WideText());
  return text;
}

void BM_Latin2ToWide(benchmark::State& state) {
  const std::string& in = Latin2Text();
  for (auto _ : state) benchmark::DoNotOptimize(CharsetToWide("iso-8859-2", in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Latin2ToUtf8(benchmark::State& state) {
  const std::string& in = Latin2Text();
  for (auto _ : state) benchmark::DoNotOptimize(CharsetToUtf8("iso-8859-2", in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Utf8ToWide(benchmark::State& state) {
  const std::string& in = Utf8Text();
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToWide(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Utf8ToUtf8(benchmark::State& state) {
  const std::string& in = Utf8Text();
  for (auto _ : state) benchmark::DoNotOptimize(CharsetToUtf8("utf-8", in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

// Throughput counted in bytes of UTF-16 input.
void BM_WideToUtf8(benchmark::State& state) {
  const std::u16string& in = WideText();
  for (auto _ : state) benchmark::DoNotOptimize(WideToUtf8(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size() * 2));
}

void BM_Latin2ToWideReused(benchmark::State& state) {
  const std::string& in = Latin2Text();
  auto reader = FindCharReader("iso-8859-2");
  std::u16string out;
  reader->DecodeBytes(in, out);  // the buffer's pages are touched once here
  for (auto _ : state) {
    out.clear();
    reader->DecodeBytes(in, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Latin2ToUtf8Reused(benchmark::State& state) {
  const std::string& in = Latin2Text();
  auto reader = FindCharReader("iso-8859-2");
  std::string out;
  reader->DecodeBytesUtf8(in, out);
  for (auto _ : state) {
    out.clear();
    reader->DecodeBytesUtf8(in, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Utf8ToWideReused(benchmark::State& state) {
  const std::string& in = Utf8Text();
  std::u16string out;
  DecodeUtf8(in, out);
  for (auto _ : state) {
    out.clear();
    DecodeUtf8(in, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_WideToUtf8Reused(benchmark::State& state) {
  const std::u16string& in = WideText();
  std::string out;
  AppendUtf8(in.data(), in.size(), out);
  for (auto _ : state) {
    out.clear();
    AppendUtf8(in.data(), in.size(), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size() * 2));
}

void ReadUnitByUnit(benchmark::State& state, const char* charset, const std::string& text) {
  std::string_view in(text.data(), kSmall);
  for (auto _ : state) {
    TPointerStream stream(in.data(), static_cast<int32_t>(in.size()));
    auto reader = CreateCharReader(charset, &stream);
    reader->OwnsStream = false;
    std::u16string out;
    out.reserve(in.size());
    while (!reader->Eof()) out.push_back(reader->ReadChar());
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Latin2ReaderUnitByUnit(benchmark::State& state) { ReadUnitByUnit(state, "iso-8859-2", Latin2Text()); }
void BM_Utf8ReaderUnitByUnit(benchmark::State& state) { ReadUnitByUnit(state, "utf-8", Utf8Text()); }

}  // namespace

BENCHMARK(BM_Latin2ToWide)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Latin2ToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToWide)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Latin2ToWideReused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Latin2ToUtf8Reused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToWideReused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideToUtf8Reused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Latin2ReaderUnitByUnit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ReaderUnitByUnit)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
