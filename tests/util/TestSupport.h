// Shared by the util tests: table-driven vectors, charset reading and
// writing, private directories, and the independent references (iconv,
// Python) the codecs are compared with.
#pragma once

#include <iconv.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "util/charsets/Charsets.h"
#include "util/streams/MemoryStream.h"

namespace tessel::test {

// "\r", "\n", "\t", "\\", "\0" and "\xHH" escapes.
inline std::string Unescape(const std::string& s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    char e = s[i] == '\\' && i + 1 < s.size() ? s[++i] : 0;
    if (e == 'x')
      r += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)), i += 2;
    else
      r += !e ? s[i] : e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e;
  }
  return r;
}

// Lines of TESSEL_TEST_DATA/file: input TAB output [TAB error text]; '#' lines are comments.
struct TVector {
  int Line;
  std::string Input, Output, Error;
};
inline std::vector<TVector> LoadVectors(const std::string& file) {
  std::ifstream in(std::string(TESSEL_TEST_DATA) + "/" + file);
  std::vector<TVector> v;
  int n = 0;
  for (std::string line, f[3]; std::getline(in, line);) {
    if (++n, line.empty() || line[0] == '#') continue;
    std::stringstream fields(line);
    for (auto& part : f) part.clear(), std::getline(fields, part, '\t');
    v.push_back({n, Unescape(f[0]), Unescape(f[1]), Unescape(f[2])});
  }
  return v;
}

// Reading unit by unit: the units read, then the error that stopped it.
struct TReadResult {
  std::u16string Units;
  std::string Error;
};
inline TReadResult ReadUnits(const std::string& charset, const std::string& bytes) {
  TReadResult o;
  TStringStream stream(bytes);
  std::unique_ptr<TCharReader> r = CreateCharReader(charset, &stream);
  if (!r) return {u"", "no reader"};
  r->OwnsStream = false;
  o.Error = ErrorOf([&] {
    while (!r->Eof()) o.Units.push_back(r->ReadChar());
  });
  return o;
}
inline std::u16string ReadAll(const std::string& charset, const std::string& bytes) {
  TReadResult o = ReadUnits(charset, bytes);
  EXPECT_EQ(o.Error, "") << charset << " " << testing::PrintToString(bytes);
  return o.Units;
}
inline std::string WriteAll(const std::string& charset, const std::u16string& ws) {
  TStringStream stream;
  {
    std::unique_ptr<TCharWriter> w = CreateCharWriter(charset, &stream);
    w->OwnsStream = false;
    w->WriteString(ws);
  }  // freeing the writer flushes it
  return stream.DataString();
}

// Counts writes; can hand out one byte per read, or claim more than asked for.
class TProbeStream : public TStringStream {
public:
  using TStringStream::TStringStream;
  int32_t Write(const void* b, int32_t n) override { return ++Writes, TStringStream::Write(b, n); }
  int32_t Read(void* b, int32_t n) override {
    int32_t got = TStringStream::Read(b, Trickle && n > 1 ? 1 : n);
    return OverRead && got > 0 ? n + 1 : got;
  }
  int Writes = 0;
  bool Trickle = false, OverRead = false;
};

// in converted by iconv; nullopt when iconv refuses it.
inline std::optional<std::string> Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string buf(in.size() * 8 + 16, '\0');
  char* inp = const_cast<char*>(in.data());
  char* outp = buf.data();
  size_t inleft = in.size(), outleft = buf.size();
  bool ok = iconv(cd, &inp, &inleft, &outp, &outleft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outp, &outleft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return buf.substr(0, static_cast<size_t>(outp - buf.data()));
}

// Each input through the Python function f(bytes) -> bytes that `def` defines;
// nullopt for an input on which f raises, and as a whole when python3 does not run.
inline std::optional<std::vector<std::optional<std::string>>> PythonMap(const std::string& def,
                                                                        const std::vector<std::string>& inputs) {
  TTempDir dir;
  std::string script = dir / "f.py", data = dir / "in", out = dir / "out";
  std::ofstream(script) << "import sys, base64, binascii, quopri\n"
                        << def << "\nfor l in open(sys.argv[1]):\n"
                        << "    try: print(f(bytes.fromhex(l)).hex())\n    except Exception: print('!')\n";
  std::string lines;
  for (const auto& s : inputs) lines += ToHex(s) + "\n";
  std::ofstream(data) << lines;
  std::optional<std::vector<std::optional<std::string>>> result;
  if (std::system(("python3 " + script + " " + data + " > " + out + " 2>/dev/null").c_str()) == 0) {
    result.emplace();
    std::ifstream f(out);
    for (std::string l; std::getline(f, l);) result->push_back(l == "!" ? std::nullopt : std::optional(FromHex(l)));
    if (result->size() != inputs.size()) result.reset();
  }
  return result;
}

}  // namespace tessel::test
