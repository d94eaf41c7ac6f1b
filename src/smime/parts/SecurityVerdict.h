// What the S/MIME layers of a message prove, as a verdict with reasons:
// the one rule table that the document window's banner and `--smime` both
// use. Each layer (the message's roots that are signed or enveloped, the
// outermost first) is reduced to plain marks, and the marks to a verdict.
//
// The verdict never says more than was proven: only a valid signature from
// a trusted, time-valid certificate known not to be revoked, whose address
// matches the From field, is good. A valid signature with any other mark is
// a warning naming each; a signature that does not verify (or whose signer
// is unknown) is bad. An enveloped layer proves nothing about the sender: it
// adds no verdict of its own, only a warning when it could not be opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smime/cms/CertificateDetails.h"
#include "smime/parts/SmimeInfo.h"
#include "mime/Message.h"

namespace tessel {

// Ordered by weight: a message's verdict is its heaviest layer's.
enum class TVerdict { None = 0, Good = 1, Warning = 2, Bad = 3 };
// "none", "good", "warning", "bad".
const char* VerdictName(TVerdict verdict);

enum class TRevocation { NotRevoked, Revoked, Unknown };

// What one signature proves.
struct TSignatureMarks {
  // A check ran at all.
  bool Checked = false;
  // The signature verified (the first signer's status is 0).
  bool Valid = false;
  uint32_t VerifyStatus = kStatusNotChecked;
  // The chain reports no fault beyond time and revocation.
  bool Trusted = false;
  // The chain's status bits, for naming what is not trusted.
  uint32_t ChainStatus = 0;
  TValidity Time = TValidity::Valid;
  TRevocation Revocation = TRevocation::Unknown;
  // The signer's address is one of the From field's (an empty address
  // never matches).
  bool FromMatches = false;
  std::string SignerEmail;
  // Signers after the first whose signature did not verify.
  int32_t OtherSignersInvalid = 0;
};

// What one enveloped layer gave.
struct TEnvelopeMarks {
  bool Opened = false;
  uint32_t DecryptStatus = kStatusNotChecked;
  // The decrypted content is no MIME entity.
  bool ParseFailed = false;
  // Who the content is for ("issuer CN, serial 0A1B"), for a layer that
  // could not be opened.
  std::vector<std::string> Recipients;
};

// The verdict of one signature and why (reasons are short phrases, empty
// for a good signature).
TVerdict JudgeSignature(const TSignatureMarks& marks, std::vector<std::string>& reasons);
TVerdict JudgeEnvelope(const TEnvelopeMarks& marks, std::vector<std::string>& reasons);

struct TSecurityLayer {
  enum TKind { Signed, Enveloped } Kind = Signed;
  // The S/MIME part and its outcome (owned by the message).
  const TBodyPart* Part = nullptr;
  const TSmimeInfo* Info = nullptr;
  TSignatureMarks Signature;
  TEnvelopeMarks Envelope;
  TVerdict Verdict = TVerdict::None;
  std::vector<std::string> Reasons;
};

struct TSecurityVerdict {
  TVerdict Verdict = TVerdict::None;
  // Every layer's reasons, outermost layer first.
  std::vector<std::string> Reasons;
  std::vector<TSecurityLayer> Layers;
};

// Marks of a layer's outcome; now: seconds since 1970 (telling an expired
// certificate from one not yet valid).
TSignatureMarks SignatureMarksOf(const TSmimeInfo& info, const std::string& fromField, int64_t now);
TEnvelopeMarks EnvelopeMarksOf(const TBodyPart& part, const TSmimeInfo& info);

// The layers of message (its roots that are signed or enveloped S/MIME
// parts, in root order) with their verdicts, and the message's verdict.
TSecurityVerdict JudgeMessage(const TMessage& message, int64_t now = 0);

// A status code in words with the code: "Invalid Signature. (0x80090006)".
std::string StatusPhrase(uint32_t code);

// "good", or "warning (reason; reason)".
std::string VerdictLine(const TSecurityVerdict& verdict);

// The raw From field of the message's first root, trimmed ("" without one).
std::string MessageFromField(const TMessage& message);

// The key size in bits of an algorithm as the decryption names it
// ("AES128" 128, "3DES" 168, "RC2 40" 40); 0 when unknown.
int32_t AlgorithmKeyBits(const std::string& algorithm);

}  // namespace tessel
