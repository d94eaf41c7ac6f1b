// tessel --asn1 FILE: the ASN.1 tree of a DER, PEM or base64 file, one line
// per element, indented two blanks per level, with the texts the S/MIME
// information page shows.
#include <ostream>
#include <string>
#include <string_view>

#include "ui/cli/Command.h"
#include "asn1/AsnRows.h"
#include "asn1/asn1.h"
#include "util/encodings/Base64.h"
#include "util/text/LineEscape.h"
#include "util/streams/MemoryStream.h"

namespace tessel::cli {

namespace {

bool IsBase64Text(std::string_view text) {
  bool any = false;
  for (unsigned char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=') continue;
    if (Base64DecodeTable[c] >= 64) return false;
    any = true;
  }
  return any;
}

// The base64 body of the first PEM block ("-----BEGIN ...-----" up to the
// matching "-----END"), without header lines such as "Proc-Type: ...".
bool PemBody(std::string_view text, std::string& body) {
  size_t begin = text.find("-----BEGIN ");
  if (begin == std::string_view::npos) return false;
  size_t lineEnd = text.find('\n', begin);
  if (lineEnd == std::string_view::npos) return false;
  size_t end = text.find("-----END ", lineEnd);
  if (end == std::string_view::npos) return false;
  std::string_view inside = text.substr(lineEnd + 1, end - lineEnd - 1);
  body.clear();
  while (!inside.empty()) {
    size_t nl = inside.find('\n');
    std::string_view line = inside.substr(0, nl);
    if (line.find(':') == std::string_view::npos) body.append(line);
    if (nl == std::string_view::npos) break;
    inside.remove_prefix(nl + 1);
  }
  return true;
}

// Where the element of a file is, or why there is none.
struct TParsed {
  std::string Decoded;    // the octets of PEM or base64 text
  bool FromText = false;  // read from PEM or base64 text: offsets are into the decoded octets
  std::string_view Octets;
  bool Ok = false;
  TAsnParseFailure Failure;
  int32_t Used = 0;  // octets the element took
  int32_t Size = 0;  // octets there were
};

void CheckOctets(TParsed& parsed) {
  parsed.Size = static_cast<int32_t>(parsed.Octets.size());
  parsed.Ok = CheckAsn(parsed.Octets.data(), parsed.Size, &parsed.Used, &parsed.Failure);
}

void CheckAsnText(std::string_view text, TParsed& parsed) {
  parsed = TParsed();
  parsed.FromText = true;
  TStringStream out;
  try {
    Base64DecodeString(text, out);
  } catch (const std::exception&) {
    parsed.Failure.Reason = "the base64 text does not decode";  // a misplaced pad: not base64 after all
    return;
  }
  parsed.Decoded = out.TakeDataString();
  parsed.Octets = parsed.Decoded;
  CheckOctets(parsed);
}

// DER when the file is exactly one element; otherwise PEM or bare base64
// text; otherwise (DER followed by other octets) the element it starts with.
void CheckFileBytes(const std::string& bytes, TParsed& parsed) {
  parsed.Octets = bytes;
  CheckOctets(parsed);
  if (parsed.Ok && parsed.Used == parsed.Size) return;
  std::string body;
  if (PemBody(bytes, body)) return CheckAsnText(body, parsed);
  if (IsBase64Text(bytes)) return CheckAsnText(bytes, parsed);
  parsed = TParsed();
  parsed.Octets = bytes;
  CheckOctets(parsed);
}

std::string Where(const TParsed& parsed, int32_t offset) {
  return "offset " + std::to_string(offset) + (parsed.FromText ? " of the decoded octets" : "");
}

// Writes one line per element, indented two blanks per level; string values
// are escaped so that every element keeps to one line.
class TRowPrinter : public TAsnVisitor {
public:
  explicit TRowPrinter(std::ostream& out) : Out_(out) {}

  void Visit(const TAsnItem& item) override {
    // Depth is below the nesting cap, so the blanks come from one string.
    static const std::string kIndent(2 * (kMaxAsnDepth + 1), ' ');
    Buffer_.append(kIndent, 0, 2 * static_cast<size_t>(item.Depth));
    AppendAsnTagName(Buffer_, item.Tag);
    if (item.Constructed) {
      Buffer_ += '\n';
    } else {
      Buffer_ += ": ";
      size_t valueStart = Buffer_.size();
      if (Values_.Append(Buffer_, item)) {
        Value_.assign(Buffer_, valueStart);
        Buffer_.resize(valueStart);
        AppendLineEscaped(Buffer_, Value_);
      }
      Buffer_ += '\n';
    }
    if (Buffer_.size() >= kFlushSize) Flush();
  }

  std::string& Buffer() { return Buffer_; }

  void Flush() {
    Out_.write(Buffer_.data(), static_cast<std::streamsize>(Buffer_.size()));
    Buffer_.clear();
  }

private:
  static constexpr size_t kFlushSize = 1 << 16;
  std::ostream& Out_;
  std::string Buffer_;
  std::string Value_;
  TAsnRowValues Values_;
};

int RunAsn1(TCommandContext& ctx) {
  if (int status = FileArgument(ctx, false, "--asn1 FILE")) return status;
  std::string bytes;
  if (int status = ReadCommandFile(ctx, ctx.Args[0], bytes)) return status;
  TParsed parsed;
  CheckFileBytes(bytes, parsed);
  if (!parsed.Ok) {
    const TAsnParseFailure& failure = parsed.Failure;
    ctx.Err << "Not a valid ASN.1 structure: " << failure.Reason;
    if (failure.Offset >= 0) ctx.Err << " at " << Where(parsed, failure.Offset);
    ctx.Err << '\n';
    return ExitNotParsed;
  }
  TRowPrinter printer(ctx.Out);
  VisitCheckedAsn(parsed.Octets.data(), parsed.Size, printer);
  // Octets after the element are no part of it, but they are in the file:
  // say so rather than drop them.
  int32_t trailing = parsed.Size - parsed.Used;
  if (trailing > 0) {
    std::string where = Where(parsed, parsed.Used);
    printer.Buffer() += "--" + std::to_string(trailing) + " octets after the element, from " + where + "--\n";
    ctx.Err << "Octets after the ASN.1 structure: " << trailing << " from " << where << '\n';
  }
  printer.Flush();
  return trailing > 0 ? ExitNotParsed : ExitDone;
}

const TCommandRegistrar kAsn1Command("--asn1", "FILE", "print the ASN.1 tree of a DER, PEM or base64 file", RunAsn1);

}  // namespace

}  // namespace tessel::cli
