// Findings: the places where reading a message had to repair or guess
// (a missing delimiter, a repeated Content-Type, a bad encoded word, line
// ends converted...), each with the byte offset where it happened.
//
// The parser records a finding on the part it concerns, and only on the
// path that repairs; a well-formed message records nothing and pays for
// nothing but an empty list per part. What can only be seen in a body
// (base64 that does not decode, NUL bytes) is looked for when the findings
// are collected, not while parsing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

class TBodyPart;
class TMessage;

// One finding of a part. Offset is in the text the part was parsed from.
struct TFinding {
  int64_t Offset = 0;
  std::string Text;
};

// A hostile message can repeat one fault in every line; past this many a
// part records one last finding saying the rest is not listed.
constexpr size_t kMaxFindingsPerPart = 200;
inline constexpr const char* kMoreFindings = "Further findings in this part are not listed";

// Adds a finding to part (nothing past kMaxFindingsPerPart).
void AddFinding(TBodyPart& part, int64_t offset, std::string text);

// The texts of the findings the parser records.
namespace finding {
inline constexpr const char* kNoDelimiter = "Multipart delimiter not found; the body is kept as one leaf";
inline constexpr const char* kNoDelimiterRoot = "Multipart delimiter not found; the message shows no parts";
inline constexpr const char* kNotClosed = "Multipart not closed: the text ends before its close delimiter";
inline constexpr const char* kClosedByEnclosing =
    "Multipart not closed: it ends at the delimiter of an enclosing multipart";
inline constexpr const char* kNestingCap = "Nested too deep: this multipart is not split into parts";
inline constexpr const char* kNestingCapMessage = "Nested too deep: this embedded message is not parsed";
inline constexpr const char* kRepeatedContentType = "Content-Type given more than once; the last one is used";
inline constexpr const char* kRepeatedEncoding = "Content-Transfer-Encoding given more than once; the last one is used";
inline constexpr const char* kEightBitHeader =
    "8-bit bytes in a header line (read as UTF-8 where valid, else as Latin-1)";
inline constexpr const char* kNulInHeader = "NUL byte in a header line";
inline constexpr const char* kNulInBody = "NUL byte in the body";
inline constexpr const char* kEpilogue = "Content after the close delimiter belongs to no part";
inline constexpr const char* kBase64Pad =
    "Base64: padding in the first or second place of a group; decoding stops here";
inline constexpr const char* kBase64AfterPad = "Base64: data after the padding is ignored";
inline constexpr const char* kBase64Partial = "Base64: the body ends in an incomplete group, which is dropped";
inline constexpr const char* kQpBadEscape = "Quoted-printable: \"=\" without two hex digits is kept as it stands";
inline constexpr const char* kQpNul = "Quoted-printable: a NUL byte ends the decoding";
}  // namespace finding

// "Base64: byte 0x01 is not base64 (skipped)".
std::string Base64BadByteFinding(unsigned char byte);
// "Encoded word: " and what header decoding noted.
std::string EncodedWordFinding(const std::string& note);
// "Embedded message does not parse: " and the parser's message.
std::string EmbeddedMessageFinding(const std::string& error);
// The finding of the line-end rule: how many LF-only line ends became
// CR LF, and whether the file also had CR LF ones.
std::string LineEndFinding(int64_t converted, bool mixed);

// A Content-Transfer-Encoding value lower-cased ("base64"); "" when it is
// not plain ASCII.
std::string EncodingName(const std::u16string& encoding);

// Findings in a body as stored, with offsets relative to its start:
// base64 that does not decode cleanly (the first byte outside the
// alphabet, a misplaced pad, data after the pad, an incomplete last
// group), quoted-printable escapes that are no escapes and a NUL that ends
// the decoding, and NUL bytes in other bodies. encoding: the part's
// lower-cased Content-Transfer-Encoding. Each kind once, at its first place.
void FindBodyFaults(std::string_view body, const std::string& encoding, std::vector<TFinding>& out);
// The same for a body just decoded to decodedSize bytes (a caller that
// decodes every body anyway): a base64 body of equal lines that decodes to
// exactly as many bytes as its size promises has no fault, which its line
// ends alone show; other bodies are looked at byte by byte.
void FindBodyFaults(std::string_view body, const std::string& encoding, int64_t decodedSize,
                    std::vector<TFinding>& out);

// One finding of a message as a user sees it: the part's path, the offset
// in the message file, and the text. A part inside decoded content (an
// embedded message in base64, a decrypted layer) has no place in the file:
// its offset is that of the encoded body, and the text says where in the
// decoded bytes it is.
struct TMessageFinding {
  std::string Path;
  TBodyPart* Part = nullptr;
  int64_t Offset = 0;
  std::string Text;
};

// Every finding of every part (embedded messages and decrypted layers
// included, each part once, at its first path) in the order of the parts,
// each part's by offset. withBodies: also look into every leaf's body
// (FindBodyFaults). hook: a layer above the MIME model (S/MIME) adds its
// findings of a part, offsets in the part's text; it runs after the part's
// inner content was made.
using TPartFindingHook = std::function<void(const TBodyPart& part, std::vector<TFinding>& out)>;
std::vector<TMessageFinding> CollectFindings(TMessage& message, bool withBodies,
                                             const TPartFindingHook& hook = nullptr);
// part.InnerRoot(), or nullptr when it raises.
TBodyPart* InnerRootOrNull(TBodyPart& part);

// The work of CollectFindings for a caller that walks the parts itself
// (ForEachPart, PartPath.h) and passes each visit and failure on. The
// collector opens no content itself.
class TFindingCollector {
public:
  TFindingCollector(TMessage& message, bool withBodies, TPartFindingHook hook = nullptr);
  ~TFindingCollector();
  TFindingCollector(const TFindingCollector&) = delete;
  TFindingCollector& operator=(const TFindingCollector&) = delete;

  // inner: the content the walk found below part (its InnerRoot, or
  // nullptr when it has none or the walk does not open it).
  void Visit(const std::string& path, TBodyPart& part, bool leaf, TBodyPart* inner);
  void Failed(const std::string& path, const std::string& error);
  // The body faults of the leaf just visited, which decoded to
  // decodedSize bytes (FindBodyFaults with a decoded size).
  void DecodedBody(const TBodyPart& part, int64_t decodedSize);
  std::vector<TMessageFinding> Result();

private:
  struct TState;
  std::unique_ptr<TState> S_;
};

// "PATH\tOFFSET\tTEXT" (the text escaped as every line of our output).
std::string FindingLine(const TMessageFinding& finding);

}  // namespace tessel
