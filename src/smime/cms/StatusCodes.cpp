#include "smime/cms/StatusCodes.h"

#include "util/system/WinError.h"

namespace tessel {

void RegisterStatusTexts() {
  static const struct {
    uint32_t Code;
    const char* Text;
  } kTexts[] = {
      {kStatusBadData, "Bad Data."},
      {kStatusBadSignature, "Invalid Signature."},
      {kStatusKeysetNotFound, "Keyset does not exist"},
      {kStatusMessageError, "An error occurred while performing an operation on a cryptographic message."},
      {kStatusUnknownAlgorithm, "Unknown cryptographic algorithm."},
      {kStatusInvalidMessageType, "Invalid cryptographic message type."},
      {kStatusAuthAttributeMissing, "The cryptographic message does not contain an expected authenticated attribute."},
      {kStatusHashValue, "The hash value is not correct."},
      {kStatusRecipientNotFound, "The enveloped-data message does not contain the specified recipient."},
      {kStatusSignerNotFoundInMessage, "Cannot find the original signer."},
      {kStatusBadEncode, "An error occurred during encode or decode operation."},
      {kStatusNotFound, "Cannot find object or property."},
      {kStatusNoDecryptCert, "Cannot find the certificate and private key to use for decryption."},
      {kStatusCertRevoked, "The certificate is revoked."},
      {kStatusNoRevocationCheck, "The revocation function was unable to check revocation for the certificate."},
      {kStatusSignerNotFound, "The certificate for the signer of the message is invalid or not found."},
      {kStatusCannotVerify, "The signature of the certificate cannot be verified."},
      {kStatusNoSignature, "No signature was present in the subject."},
      {kStatusCertExpired,
       "A required certificate is not within its validity period when verifying against the current system "
       "clock or the timestamp in the signed file."},
      {kStatusUntrustedRoot,
       "A certificate chain processed, but terminated in a root certificate which is not trusted by the trust "
       "provider."},
      {kStatusChaining, "A certificate chain could not be built to a trusted root authority."},
      {kStatusRevoked, "A certificate was explicitly revoked by its issuer."},
      {kStatusNoRecipientMatches, "None of your certificates with a private key is a recipient of this message."},
      {kStatusUnsupportedRecipient,
       "The message is encrypted only for recipients of kinds this program cannot decrypt (a password or a "
       "shared key)."},
  };
  for (const auto& t : kTexts) RegisterErrorText(t.Code, t.Text);
}

}  // namespace tessel
