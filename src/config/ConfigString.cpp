#include "config/ConfigString.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "util/system/Exception.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

// One left-to-right scan of the text; an expression's inner text is scanned
// by a nested call that stops at its closing brace.
class TExpander {
public:
  TExpander(const std::string& s, const TConfigKeyReader& readKey) : S_(s), ReadKey_(readKey) {}

  std::string Run() { return Scan(false); }

private:
  std::string Scan(bool inExpression) {
    std::string out;
    while (Pos_ < S_.size()) {
      char c = S_[Pos_];
      if (c == '$' || c == '%') {
        if (Pos_ + 1 >= S_.size()) {
          out += c;
          ++Pos_;
          continue;
        }
        char next = S_[Pos_ + 1];
        if (next == c) {
          out += c;
          Pos_ += 2;
        } else if (next == '{') {
          Pos_ += 2;
          std::string inner = Scan(true);
          if (Pos_ >= S_.size()) throw Exception(S_ + ":\"}\" expected");
          ++Pos_;  // the closing brace
          out += Resolve(c, inner);
        } else {
          out += c;
          ++Pos_;
        }
      } else if (c == '"') {
        if (Pos_ + 1 >= S_.size()) throw Exception(S_ + ":Unexpected EOS");
        char next = S_[Pos_ + 1];
        Pos_ += 2;
        if (next == '{') {
          out += Verbatim();
        } else {
          out += c;
          out += next;
        }
      } else if (c == '}') {
        // Inside an expression the caller consumes the brace; at the top
        // level a stray brace ends the text.
        if (!inExpression) Pos_ = S_.size();
        return out;
      } else {
        out += c;
        ++Pos_;
      }
    }
    return out;
  }

  std::string Verbatim() {
    std::string out;
    for (;;) {
      if (Pos_ >= S_.size()) throw Exception(S_ + ":\"}\" expected");
      char c = S_[Pos_++];
      if (c != '}') {
        out += c;
      } else if (Pos_ < S_.size() && S_[Pos_] == '}') {
        out += '}';
        ++Pos_;
      } else {
        return out;
      }
    }
  }

  std::string Resolve(char space, const std::string& text) {
    switch (space) {
      case '$': return ReadKey_ ? ReadKey_(text) : std::string();
      case '%': {
        // The whole value, however long: a name cut at some buffer size
        // would silently point at another file.
        const char* value = std::getenv(text.c_str());
        return value ? std::string(value) : "%" + text + "%";
      }
      default: throw Exception(std::string("Unknown namespace \"") + space + "\" in expression");
    }
  }

  const std::string& S_;
  const TConfigKeyReader& ReadKey_;
  size_t Pos_ = 0;
};

}  // namespace

std::string ExpandConfigText(const std::string& s, const TConfigKeyReader& readKey) {
  return TExpander(s, readKey).Run();
}

std::string QuoteConfigFileName(const std::string& fileName) {
  if (fileName.find_first_of("$%\"}") == std::string::npos) return fileName;
  std::string out = "\"{";
  for (char c : fileName) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

std::string MakeAbsoluteFileName(const std::string& fileName) {
  if (!fileName.empty() && fileName[0] == '/') return fileName;
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) {
      RaiseSystemError("Cannot find the current directory.", static_cast<uint32_t>(errno));
    }
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir + fileName;
}

}  // namespace tessel
