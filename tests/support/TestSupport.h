// What the tests of every folder share, one of each: the text of a raised
// error, hex in both directions, a reader of the JSON the corpus files hold,
// a private temporary folder, and data made once by a script. Files are read with tessel::ReadFileBytes
// and headless commands run through clitest::Command (ui/CliSupport.h).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "util/system/Exception.h"
#include "util/streams/FileStream.h"

namespace tessel::test {

// "EIllegalChar:<message>", "Exception:<message>" (any other error of ours)
// or "std::exception:<message>" for what f raises; "" when it raises nothing.
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const EIllegalChar& e) {
    return std::string("EIllegalChar:") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception:") + e.what();
  } catch (const std::exception& e) {
    return std::string("std::exception:") + e.what();
  }
  return "";
}

// n random bytes; the same ones for the same n.
inline std::string Random(size_t n) {
  std::mt19937 rng(static_cast<uint32_t>(n));
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Lower-case hex of the bytes.
inline std::string ToHex(std::string_view bytes) {
  std::string r;
  for (unsigned char c : bytes) r += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return r;
}
// The bytes of hex digits (either case); anything else between them, such
// as the blanks of "30 03 02 01 05", is skipped.
inline std::string FromHex(std::string_view text) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string digits, r;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    r += static_cast<char>(digit(digits[i]) * 16 + digit(digits[i + 1]));
  return r;
}

// JSON as the corpus files write it: objects, arrays, strings without \u
// escapes, and numbers and literals kept as their text.
struct TJson {
  std::string S;
  std::vector<std::string> Keys;  // object keys, parallel to Items
  std::vector<TJson> Items;       // array items or object values
  const TJson* Get(const std::string& key) const {
    auto it = std::find(Keys.begin(), Keys.end(), key);
    return it == Keys.end() ? nullptr : &Items[static_cast<size_t>(it - Keys.begin())];
  }
  std::string Str(const std::string& key) const { return Get(key) ? Get(key)->S : std::string(); }
};

inline TJson ParseJson(const std::string& t, size_t& p) {
  TJson v;
  p = t.find_first_not_of(" \t\r\n:", p);  // a value may follow its key's colon
  if (p == std::string::npos) return v;
  if (t[p] == '{' || t[p] == '[') {
    char close = t[p++] == '{' ? '}' : ']';
    while ((p = t.find_first_not_of(" \t\r\n,", p)) != std::string::npos && t[p] != close) {
      if (close == '}') v.Keys.push_back(ParseJson(t, p).S);
      v.Items.push_back(ParseJson(t, p));
    }
    ++p;
  } else if (t[p] == '"') {
    for (++p; p < t.size() && t[p] != '"'; ++p) {
      char e = t[p] == '\\' ? t[++p] : 0;  // the character after a backslash
      v.S += !e ? t[p] : e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    }
    ++p;
  } else {
    size_t end = t.find_first_of(",]} \t\r\n", p);
    v.S = t.substr(p, end - p);
    p = end;
  }
  return v;
}

inline TJson ParseJson(const std::string& text) {
  size_t p = 0;
  return ParseJson(text, p);
}

// A private folder under $TMPDIR (or /tmp), removed with all it holds when
// the object goes, whatever the test's outcome.
class TTempDir {
public:
  explicit TTempDir(const std::string& prefix = "tessel-test") {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a folder like " << pattern;
    Path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return Path_; }
  std::string Str() const { return Path_.string(); }
  // The path of name inside the folder.
  std::string operator/(const std::string& name) const { return (Path_ / name).string(); }
  // Writes bytes as the file name inside the folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path_ / name, std::ios::binary | std::ios::trunc) << bytes;
    return (Path_ / name).string();
  }

private:
  std::filesystem::path Path_;
};

// The folder "sh script DIR" fills, made once per script text as
// base<hash> (marker: a file the script writes last). Of test processes
// making it at once, the first rename wins.
inline std::filesystem::path ScriptOutput(const std::filesystem::path& script, const std::string& base,
                                          const std::string& marker) {
  namespace fs = std::filesystem;
  const fs::path final = base + std::to_string(std::hash<std::string>{}(ReadFileBytes(script)));
  if (fs::exists(final / marker)) return final;
  fs::path temp = final;
  temp += "." + std::to_string(::getpid());
  fs::remove_all(temp);
  const std::string command = "sh '" + script.string() + "' '" + temp.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << script.filename() << " failed: " << command;
    return final;
  }
  std::error_code ec;
  fs::rename(temp, final, ec);
  if (ec) fs::remove_all(temp);  // another process was first
  return final;
}

}  // namespace tessel::test
