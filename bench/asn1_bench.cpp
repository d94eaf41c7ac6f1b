// ASN.1 parsing and row rendering throughput on about 10 MB of DER.
//
// The data is the file named by TESSEL_ASN1_BENCH_FILE (make a real CRL with
// bench/asn1_make_crl.sh), or else a CRL-shaped structure built in memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "asn1/AsnRows.h"
#include "asn1/asn1.h"
#include "util/streams/MemoryStream.h"

using namespace tessel;

namespace {

std::string Tlv(uint8_t tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  size_t n = content.size();
  if (n < 128) {
    out += static_cast<char>(n);
  } else {
    std::string len;
    for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | len.size());
    out += len;
  }
  return out + content;
}

// Revoked-certificate entries like a CA's CRL: serial, date and a reason code.
std::string SyntheticCrl(size_t targetSize) {
  const std::string reasonOid = Tlv(0x06, "\x55\x1D\x15");
  std::string entries;
  for (uint32_t i = 0; entries.size() < targetSize; ++i) {
    std::string serial = "\x0F\x42";
    for (int b = 3; b >= 0; --b) serial += static_cast<char>((i * 2654435761u) >> (b * 8));
    std::string reason = Tlv(0x30, reasonOid + Tlv(0x04, Tlv(0x0A, std::string(1, char(i % 6)))));
    entries += Tlv(0x30, Tlv(0x02, serial) + Tlv(0x17, "240202010713Z") + Tlv(0x30, reason));
  }
  std::string issuer = Tlv(0x30, Tlv(0x31, Tlv(0x30, Tlv(0x06, "\x55\x04\x03") + Tlv(0x0C, "Benchmark CA"))));
  std::string algorithm = Tlv(0x30, Tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B") + Tlv(0x05, ""));
  std::string tbs = Tlv(0x30, Tlv(0x02, "\x01") + algorithm + issuer + Tlv(0x17, "261206072717Z") +
                                  Tlv(0x17, "270105072717Z") + Tlv(0x30, entries));
  return Tlv(0x30, tbs + algorithm + Tlv(0x03, std::string(257, '\x5A')));
}

const std::string& Data() {
  static const std::string data = [] {
    if (const char* file = std::getenv("TESSEL_ASN1_BENCH_FILE")) {
      std::ifstream in(file, std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      if (!s.str().empty()) return s.str();
    }
    return SyntheticCrl(10 * 1000 * 1000);
  }();
  return data;
}

void BM_ParseTree(benchmark::State& state) {
  const std::string& data = Data();
  for (auto _ : state) {
    auto root = ParseAsn(data.data(), static_cast<int32_t>(data.size()));
    if (!root) state.SkipWithError("the data does not parse");
    benchmark::DoNotOptimize(root.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

// What tessel --asn1 does after reading the file: the tree, then one
// indented text line per element.
void BM_ParseAndRenderRows(benchmark::State& state) {
  const std::string& data = Data();
  std::string out;
  for (auto _ : state) {
    out.clear();
    auto root = ParseAsn(data.data(), static_cast<int32_t>(data.size()));
    if (!root) state.SkipWithError("the data does not parse");
    VisitAsnRows(*root, [&out](const TAsnRow& row) {
      out.append(static_cast<size_t>(row.Depth) * 2, ' ');
      out += row.Text();
      out += '\n';
    });
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_StreamElements(benchmark::State& state) {
  const std::string& data = Data();
  for (auto _ : state) {
    TPointerStream stream(data.data(), static_cast<int32_t>(data.size()));
    TAsnParser parser(stream);
    int64_t n = 0;
    while (parser.Next()) ++n;
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

}  // namespace

BENCHMARK(BM_ParseTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAndRenderRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamElements)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
