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

// The element a file holds, or why there is none.
struct TParsed {
  std::unique_ptr<TAsnElem> Root;
  bool Decoded = false;  // read from PEM or base64 text: offsets are into the decoded octets
  TAsnParseFailure Failure;
  int32_t Used = 0;  // octets the element took
  int32_t Size = 0;  // octets there were
};

TParsed ParseOctets(std::string_view der, bool decoded) {
  TParsed parsed;
  parsed.Decoded = decoded;
  parsed.Size = static_cast<int32_t>(der.size());
  parsed.Root = ParseAsn(der.data(), parsed.Size, &parsed.Used, &parsed.Failure);
  return parsed;
}

TParsed ParseAsnText(std::string_view text) {
  TStringStream out;
  try {
    Base64DecodeString(text, out);
  } catch (const std::exception&) {
    TParsed parsed;  // a misplaced pad: not base64 after all
    parsed.Decoded = true;
    parsed.Failure.Reason = "the base64 text does not decode";
    return parsed;
  }
  return ParseOctets(out.DataString(), true);
}

// DER when the file is exactly one element; otherwise PEM or bare base64
// text; otherwise (DER followed by other octets) the element it starts with.
TParsed ParseFileBytes(const std::string& bytes) {
  TParsed der = ParseOctets(bytes, false);
  if (der.Root && der.Used == der.Size) return der;
  std::string body;
  if (PemBody(bytes, body)) return ParseAsnText(body);
  if (IsBase64Text(bytes)) return ParseAsnText(bytes);
  return der;
}

std::string Where(const TParsed& parsed, int32_t offset) {
  return "offset " + std::to_string(offset) + (parsed.Decoded ? " of the decoded octets" : "");
}

// Appends one output line; string values are escaped so that every element
// keeps to one line.
void AppendLine(std::string& out, const TAsnRow& row) {
  out.append(static_cast<size_t>(row.Depth) * 2, ' ');
  out += row.Name;
  if (!row.HasValue) {
    out += '\n';
    return;
  }
  out += ": ";
  AppendLineEscaped(out, row.Value);
  out += '\n';
}

int RunAsn1(TCommandContext& ctx) {
  if (int status = FileArgument(ctx, false, "--asn1 FILE")) return status;
  std::string bytes;
  if (int status = ReadCommandFile(ctx, ctx.Args[0], bytes)) return status;
  TParsed parsed = ParseFileBytes(bytes);
  if (!parsed.Root) {
    const TAsnParseFailure& failure = parsed.Failure;
    ctx.Err << "Not a valid ASN.1 structure: " << failure.Reason;
    if (failure.Offset >= 0) ctx.Err << " at " << Where(parsed, failure.Offset);
    ctx.Err << '\n';
    return ExitNotParsed;
  }
  std::string buffer;
  VisitAsnRows(*parsed.Root, [&](const TAsnRow& row) {
    AppendLine(buffer, row);
    if (buffer.size() >= 1 << 16) {
      ctx.Out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  });
  // Octets after the element are no part of it, but they are in the file:
  // say so rather than drop them.
  int32_t trailing = parsed.Size - parsed.Used;
  if (trailing > 0) {
    std::string where = Where(parsed, parsed.Used);
    buffer += "--" + std::to_string(trailing) + " octets after the element, from " + where + "--\n";
    ctx.Err << "Octets after the ASN.1 structure: " << trailing << " from " << where << '\n';
  }
  ctx.Out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return trailing > 0 ? ExitNotParsed : ExitDone;
}

const TCommandRegistrar kAsn1Command("--asn1", "FILE", "print the ASN.1 tree of a DER, PEM or base64 file", RunAsn1);

}  // namespace

}  // namespace tessel::cli
