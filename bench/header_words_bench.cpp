// Decoding a 12 MB header line of encoded words, good ones against bad ones,
// per charset family. A hostile message fills its header with words whose
// bytes the charset cannot read; reading them must cost about what reading
// good words costs (each bad stretch is one U+FFFD, not one exception).
//
// Each pair of figures (…/good, …/bad) uses words of the same length; the
// bad words hold a fault every few bytes.
#include <benchmark/benchmark.h>

#include <string>

#include "mime/HeaderDecoding.h"

using namespace tessel;

namespace {

constexpr size_t kLineBytes = 12u << 20;

struct TWordKind {
  const char* Name;
  const char* Good;  // one word, repeated with a blank between
  const char* Bad;
};

// Words of 60 to 70 characters, as mail programs write them.
const TWordKind kKinds[] = {
    {"utf-8", "=?utf-8?Q?Stra=C3=9Fe_K=C3=B6ln_r=C3=A9sum=C3=A9_na=C3=AFve_caf=C3=A9?=",
     "=?utf-8?Q?Stra=C3_K=C3=B6ln_r=FFsum=E2=82_na=C3=AFve=ED=A0_caf=C3=A9?="},
    {"utf-8-base64", "=?utf-8?B?U3RyYcOfZSBLw7ZsbiByw6lzdW3DqSBuYcOvdmUgY2Fmw6k=?=",
     "=?utf-8?B?U3RyYcMgS8O2bG4gcv9zdW3igiBuYcOvdmXtoCBjYWbDqQ==?="},
    {"utf-7", "=?utf-7?Q?Stra+AN8-e_K+APY-ln_r+AOk-sum+AOk-_na+AO8-ve_caf+AOk-?=",
     "=?utf-7?Q?Stra+AN-e_K+!ln_r+AO-sum+A-_na+!ve_caf+AO-_x+!y?="},
    {"windows-1250", "=?windows-1250?Q?P=F8=EDli=9A_=9Elu=9Dou=E8k=FD_k=F9=F2_=FAp=ECl_=EF=E1belsk=E9?=",
     "=?windows-1250?Q?P=81=EDli=83_=9Elu=88ou=E8k=90_k=98=F2_=FAp=81l_=83=E1bels=88?="},
    {"utf-16be", "=?utf-16be?B?AFMAdAByAGEA3wBlACAASwD2AGwAbgAgAHIA6QBzAHUAbQ==?=",
     "=?utf-16be?B?AFMAdAByAGEA3wBlACAASwD2AGwAbgAgAHIA6QBzAHXcANg9AA==?="},
};

std::string Line(const char* word) {
  std::string line;
  line.reserve(kLineBytes + 100);
  while (line.size() < kLineBytes) {
    line += word;
    line += ' ';
  }
  return line;
}

void BM_HeaderWords(benchmark::State& state, const char* word) {
  const std::string line = Line(word);
  THeaderProblems problems;
  for (auto _ : state) {
    std::string text = DecodeHeaderLine(line, &problems);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(line.size()));
}

const bool kRegistered = [] {
  for (const TWordKind& k : kKinds) {
    benchmark::RegisterBenchmark((std::string("HeaderWords/") + k.Name + "/good").c_str(), BM_HeaderWords, k.Good)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("HeaderWords/") + k.Name + "/bad").c_str(), BM_HeaderWords, k.Bad)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
