// Runs an independent implementation in Python over many inputs at once, so
// that codec tests can compare against a decoder we did not write.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace tessel::test {

inline std::string ToHex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string r;
  for (unsigned char c : s) {
    r += d[c >> 4];
    r += d[c & 15];
  }
  return r;
}

inline std::string FromHex(const std::string& h) {
  std::string r;
  for (size_t i = 0; i + 1 < h.size(); i += 2) r += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return r;
}

// `body` defines f(data: bytes) -> bytes. Each input goes through f; an input
// for which f raises gives std::nullopt. Returns std::nullopt as a whole when
// python3 cannot be run.
inline std::optional<std::vector<std::optional<std::string>>> PythonMap(const std::string& body,
                                                                        const std::vector<std::string>& inputs) {
  char dir[] = "/tmp/tessel-oracle-XXXXXX";
  if (!mkdtemp(dir)) return std::nullopt;
  std::string script = std::string(dir) + "/oracle.py", data = std::string(dir) + "/inputs.txt";
  {
    std::ofstream py(script);
    py << "import sys, base64, binascii, quopri\n"
       << body << "\n"
       << "for line in open(sys.argv[1]):\n"
       << "    try:\n"
       << "        print(f(bytes.fromhex(line.strip())).hex())\n"
       << "    except Exception:\n"
       << "        print('!')\n";
    std::ofstream in(data);
    for (const auto& s : inputs) in << ToHex(s) << "\n";
  }
  std::optional<std::vector<std::optional<std::string>>> result;
  if (FILE* p = popen(("python3 " + script + " " + data + " 2>/dev/null").c_str(), "r")) {
    std::vector<std::optional<std::string>> out;
    std::string line;
    int c;
    while ((c = fgetc(p)) != EOF) {
      if (c != '\n') {
        line += static_cast<char>(c);
        continue;
      }
      if (line == "!")
        out.emplace_back(std::nullopt);
      else
        out.emplace_back(FromHex(line));
      line.clear();
    }
    if (pclose(p) == 0 && out.size() == inputs.size()) result = std::move(out);
  }
  std::remove(script.c_str());
  std::remove(data.c_str());
  rmdir(dir);
  return result;
}

}  // namespace tessel::test
