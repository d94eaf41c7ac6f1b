// Table-driven vectors, and an independent decoder (Python's) to compare the
// transfer encodings with.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tessel::test {

// "\r", "\n", "\t", "\\", "\0" and "\xHH" escapes.
inline std::string Unescape(const std::string& s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    char e = s[i] == '\\' && i + 1 < s.size() ? s[++i] : 0;
    if (e == 'x') r += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)), i += 2;
    else r += !e ? s[i] : e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e;
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
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string part; std::getline(ss, part, '\t');) f.push_back(Unescape(part));
    f.resize(3);
    v.push_back({n, f[0], f[1], f[2]});
  }
  return v;
}

inline std::string ToHex(const std::string& s) {
  std::string r;
  for (unsigned char c : s) r += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return r;
}

// Each input through the Python function f(bytes) -> bytes that `def` defines;
// nullopt for an input on which f raises, and as a whole when python3 does not run.
inline std::optional<std::vector<std::optional<std::string>>> PythonMap(const std::string& def,
                                                                        const std::vector<std::string>& inputs) {
  char dir[] = "/tmp/tessel-oracle-XXXXXX";
  if (!mkdtemp(dir)) return std::nullopt;
  std::string script = std::string(dir) + "/f.py", data = std::string(dir) + "/in.txt";
  std::ofstream(script) << "import sys, base64, binascii, quopri\n" << def << "\nfor l in open(sys.argv[1]):\n"
                        << "    try: print(f(bytes.fromhex(l)).hex())\n    except Exception: print('!')\n";
  std::ofstream(data) << [&] {
    std::string all;
    for (const auto& s : inputs) all += ToHex(s) + "\n";
    return all;
  }();
  std::optional<std::vector<std::optional<std::string>>> result;
  if (FILE* p = popen(("python3 " + script + " " + data + " 2>/dev/null").c_str(), "r")) {
    std::vector<std::optional<std::string>> out;
    std::string line;
    for (int c; (c = fgetc(p)) != EOF;) {
      if (c != '\n') {
        line += static_cast<char>(c);
      } else {
        out.push_back(line == "!" ? std::nullopt : std::optional(std::string()));
        for (size_t i = 0; out.back() && i + 1 < line.size(); i += 2)
          *out.back() += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        line.clear();
      }
    }
    if (pclose(p) == 0 && out.size() == inputs.size()) result = std::move(out);
  }
  std::remove(script.c_str());
  std::remove(data.c_str());
  rmdir(dir);
  return result;
}

}  // namespace tessel::test
