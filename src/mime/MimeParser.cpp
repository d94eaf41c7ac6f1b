#include "mime/MimeParser.h"

#include <cstring>

#include "mime/DelimiterSearch.h"
#include "mime/HeaderDecoding.h"
#include "util/text/StringUtils.h"

namespace tessel {

namespace {

// --- the parser ----------------------------------------------------------

// One open multipart: its delimiter, or the empty string once the
// delimiter has been looked for and not found (the item stays, so that
// indexes into the stack keep their meaning).
struct TStackItem {
  std::string Delimiter;
  TBodyPart* Part;
};

class TParser {
public:
  TParser(TTextReader& reader, const TParseOptions& options, int32_t depth)
      : R_(reader),
        Options_(options),
        Base_(reader.Base),
        End_(reader.Text->End()),
        Finder_(reader.Text->Start(), reader.Text->End(), options.DelimiterScanBudget),
        BaseDepth_(depth) {
    // A reader left outside its text by a caller starts at the nearest end.
    if (R_.Current < reader.Text->Start()) R_.Current = reader.Text->Start();
    if (R_.Current > End_) R_.Current = End_;
  }

  std::unique_ptr<TBodyPart> ParseRoot() {
    Parse();
    return std::move(Root_);
  }

private:
  int32_t Pos() const { return static_cast<int32_t>(R_.Current - Base_); }
  void SetPos(int32_t pos) { R_.Current = Base_ + pos; }
  bool AtEnd() const { return R_.Current >= End_; }

  // The line at the reader (without its line end), and the reader past it.
  std::string_view ReadLine() {
    const char* p = R_.Current;
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(End_ - p)));
    if (!cr) {
      R_.Current = End_;
      return std::string_view(p, static_cast<size_t>(End_ - p));
    }
    R_.Current = cr + 1;
    if (R_.Current < End_ && *R_.Current == '\n') ++R_.Current;
    return std::string_view(p, static_cast<size_t>(cr - p));
  }

  bool Match(std::string_view s) const {
    return static_cast<size_t>(End_ - R_.Current) >= s.size() && std::memcmp(R_.Current, s.data(), s.size()) == 0;
  }

  // First occurrence of delimiter from two bytes before the reader (so that
  // a CR LF already read, such as the blank line's, can begin it).
  int32_t Search(const std::string& delimiter) { return Finder_.Find(delimiter, Pos() - 2); }

  TBodyPart* Parse() {
    auto part = std::make_unique<TBodyPart>(R_);
    part->Depth = BaseDepth_ + static_cast<int32_t>(Stack_.size());
    part->Options = &Options_;
    ReadHeaders(*part);
    return ReadBody(std::move(part));
  }

  // 8-bit bytes and NUL in a raw header line are findings. Header lines
  // are short: one pass that folds every byte is cheap enough to always run.
  static void CheckHeaderBytes(TBodyPart& part, std::string_view line, int32_t at) {
    // Eight octets per step: their union tells of a high bit, and the
    // borrow test of a zero octet.
    constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    uint64_t all = 0, nul = 0;
    const char* p = line.data();
    size_t n = line.size(), i = 0;
    for (; n - i >= 8; i += 8) {
      uint64_t v;
      std::memcpy(&v, p + i, 8);
      all |= v;
      nul |= (v - kOnes) & ~v & kHigh;
    }
    for (; i < n; ++i) {
      const auto b = static_cast<unsigned char>(p[i]);
      all |= b;
      nul |= b == 0;
    }
    if (all & kHigh) AddFinding(part, at, finding::kEightBitHeader);
    if (nul) AddFinding(part, at + static_cast<int32_t>(line.find('\0')), finding::kNulInHeader);
  }

  // Whether text holds anything but line space (an epilogue worth noting).
  static bool HasContent(std::string_view text) {
    for (char c : text)
      if (c != '\r' && c != '\n' && c != ' ' && c != '\t') return true;
    return false;
  }

  void ReadHeaders(TBodyPart& part) {
    std::string current;
    int32_t currentAt = -1;
    std::string decoded;  // each line in turn; its room stays
    while (!AtEnd()) {
      int32_t at = Pos();
      std::string_view line = ReadLine();
      if (line.empty()) break;
      CheckHeaderBytes(part, line, at);
      THeaderProblems lineProblems;
      decoded.clear();
      AppendDecodedHeaderLine(line, decoded, &lineProblems);
      for (const std::string& note : lineProblems.Notes) {
        part.Problems.Add(note);
        AddFinding(part, at, EncodedWordFinding(note));
      }
      if (current.empty()) {
        current.assign(TrimView(decoded));
        currentAt = at;
      } else if (!decoded.empty() && (decoded[0] == '\t' || decoded[0] == '\r' || decoded[0] == ' ')) {
        // A continuation line: one space joins the pieces.
        current += ' ';
        current += TrimView(decoded);
      } else {
        part.ParseHeaderLine(std::move(current), currentAt);
        current.assign(decoded);
        currentAt = at;
      }
    }
    if (!current.empty()) part.ParseHeaderLine(std::move(current), currentAt);
  }

  TBodyPart* ReadBody(std::unique_ptr<TBodyPart> part) {
    int32_t start = Pos();
    part->BodyStart = start;
    if (!part->IsMultipart) return ReadLeaf(std::move(part));
    if (part->Depth >= Options_.MaxNestingDepth) {
      AddFinding(*part, part->HeaderStart, finding::kNestingCap);
      return ReadLeaf(std::move(part));
    }

    const std::string delimiter = part->Delimiter;
    const int32_t n = static_cast<int32_t>(delimiter.size());
    int32_t found = Search(delimiter);
    if (found < 0) {
      // The outermost part keeps an empty body. A nested one ends where a
      // leaf in its place would, so that its content stays visible and the
      // enclosing multipart resumes at its own next delimiter.
      if (Stack_.empty()) {
        AddFinding(*part, start, finding::kNoDelimiterRoot);
        SetPos(start);
        return Specialize(std::move(part), -1);
      }
      AddFinding(*part, start, finding::kNoDelimiter);
      return ReadLeaf(std::move(part));
    }
    SetPos(found + n);
    if (Match("--")) {
      // Closed straight away: no children, and the stack is left as it was.
      R_.Current += 2;
      return Specialize(std::move(part), static_cast<int32_t>(Stack_.size()) - 1);
    }

    Stack_.push_back(TStackItem{delimiter, part.get()});
    const size_t level = Stack_.size() - 1;
    bool closed = false;
    while (!AtEnd()) {
      ReadLine();  // the rest of the delimiter line
      TBodyPart* child = Parse();
      if (Stack_[level].Delimiter.empty()) break;
      // A leaf child stops at this delimiter; after a nested multipart the
      // reader stands past its close delimiter line, and whatever follows
      // up to this part's next delimiter (its epilogue) belongs to no part.
      if (!Match(delimiter)) {
        int32_t next = Search(delimiter);
        if (next < 0) {
          Stack_[level].Delimiter.clear();
          break;
        }
        if (next > Pos() && HasContent(std::string_view(R_.Current, static_cast<size_t>(next - Pos()))))
          AddFinding(*child, Pos(), finding::kEpilogue);
        SetPos(next);
      }
      R_.Current += n;
      if (Match("--")) {
        R_.Current += 2;
        ReadLine();
        closed = true;
        break;
      }
    }
    if (!closed) AddFinding(*part, Pos(), AtEnd() ? finding::kNotClosed : finding::kClosedByEnclosing);
    // The epilogue after the close delimiter line belongs to no part.
    Stack_.pop_back();
    if (closed && Stack_.empty() && !AtEnd() &&
        HasContent(std::string_view(R_.Current, static_cast<size_t>(End_ - R_.Current))))
      AddFinding(*part, Pos(), finding::kEpilogue);
    return Specialize(std::move(part), static_cast<int32_t>(Stack_.size()) - 1);
  }

  // A part without children: its body runs to the next delimiter of the
  // innermost enclosing multipart that has one (delimiters that are not
  // found are blanked, outer ones searched next), or to the end of the text.
  TBodyPart* ReadLeaf(std::unique_ptr<TBodyPart> part) {
    bool found = false;
    for (size_t i = Stack_.size(); i-- > 0;) {
      if (Stack_[i].Delimiter.empty()) continue;
      int32_t at = Search(Stack_[i].Delimiter);
      if (at >= 0) {
        SetPos(at);
        found = true;
        break;
      }
      Stack_[i].Delimiter.clear();
    }
    if (!found) R_.Current = End_;
    return Specialize(std::move(part), static_cast<int32_t>(Stack_.size()) - 1);
  }

  // Links the finished part to its parent (the multipart of stack item
  // parentIndex, or none for -1), ends its body at the reader, analyses it
  // and gives it its class by content type.
  TBodyPart* Specialize(std::unique_ptr<TBodyPart> part, int32_t parentIndex) {
    TBodyPart* parent = parentIndex >= 0 ? Stack_[static_cast<size_t>(parentIndex)].Part : nullptr;
    part->BodyEnd = Pos();
    // A part costs its object and about twice its header block (the lines
    // and the parameter list).
    if (Options_.Account &&
        !Options_.Account->Take(int64_t(sizeof(TBodyPart)) + 64 + 2 * int64_t(part->BodyStart - part->HeaderStart)))
      throw EMimeParseError(kTooManyParts, part->HeaderStart);
    part->Analyze();
    TPartFactory factory = Options_.FindPartClass(part->ContentTypeKey());
    if (factory) {
      std::unique_ptr<TBodyPart> special = factory();
      special->TakeOver(*part, false);
      bool ok = true;
      try {
        special->Analyze();
      } catch (const std::exception&) {
        ok = false;
      }
      if (ok) {
        part = std::move(special);
      } else {
        // The plain part stays, with everything it had.
        part->TakeOver(*special, false);
      }
    }
    if (parent) return parent->AddChild(std::move(part));
    Root_ = std::move(part);
    return Root_.get();
  }

  TTextReader& R_;
  const TParseOptions& Options_;
  const char* Base_;
  const char* End_;
  TDelimiterFinder Finder_;
  int32_t BaseDepth_;
  std::vector<TStackItem> Stack_;
  std::unique_ptr<TBodyPart> Root_;
};

}  // namespace

std::unique_ptr<TBodyPart> ParseBodyPart(TTextReader& reader, const TParseOptions& options, int32_t depth) {
  TParser parser(reader, options, depth);
  return parser.ParseRoot();
}

}  // namespace tessel
