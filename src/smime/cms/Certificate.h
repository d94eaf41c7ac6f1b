// TCertificate: one certificate as it travels through the system (signer,
// encryption and recipient certificates, certificates carried in a PKCS #7
// structure), with its names, serial number, the user's stores and the
// certificate dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "smime/openssl/CryptoPlatform.h"
#include "util/text/StringUtils.h"

namespace tessel {

class TAsnElem;
class TStream;

// Whose name NameAttribute reads.
enum class TNameOf { Subject, Issuer };
// The name attributes NameAttribute reads.
enum class TNameAttribute { CommonName, OrganizationalUnit, Organization, EmailAddress };

class TCertificate {
public:
  // Create: an empty object.
  TCertificate() = default;
  // CreateFromContext: the object holds the given certificate (an empty
  // handle leaves it empty). Handles are immutable and shared, so holding
  // and copying are the same thing here.
  explicit TCertificate(crypto::TCertHandle certificate);
  // Copies hold the same certificate; the name lists are rebuilt on use.
  TCertificate(const TCertificate& other);
  TCertificate& operator=(const TCertificate& other);
  TCertificate(TCertificate&&) noexcept = default;
  TCertificate& operator=(TCertificate&&) noexcept = default;

  // CreateFromStream: reads the rest of the stream and tries it as a DER
  // certificate, then as base64 text of one. Neither gives an empty object.
  // Raises Exception("Out of memory") when the octets cannot be held.
  void LoadFromStream(TStream& stream);
  // CreateFromElement: the same with the element's encoding.
  void LoadFromElement(const TAsnElem& element);
  static TCertificate CreateFromStream(TStream& stream);
  static TCertificate CreateFromElement(const TAsnElem& element);

  // A copy of other's certificate, or empty when other is nullptr or empty.
  void Assign(const TCertificate* other);
  void Clear();

  // Takes the first certificate of the store with the issuer (base64 of the
  // whole issuer name; characters outside the base64 alphabet are ignored)
  // and, unless serialHex is empty, whose SerialNumber equals serialHex.
  // With requirePrivateKey a winner without a key gives nothing. The object
  // becomes empty when nothing is found. A store that cannot be opened
  // raises EWinException("Could not open the MY system store.") with the
  // errno that says why.
  void FindInStore(const std::string& storeName, const std::string& issuerBase64, bool requirePrivateKey,
                   const std::string& serialHex);

  bool IsEmpty() const { return Handle_.Empty(); }
  const crypto::TCertHandle& Handle() const { return Handle_; }
  // DER octets; empty for an empty object.
  std::string Encoded() const;

  // "name=value" lines of the subject's and issuer's single-valued name
  // attributes, with the short names of OidNames.h (CN, O, OU, C, L, S, E...).
  const TStringListX& SubjectParts() const;
  const TStringListX& IssuerParts() const;
  // The issuer's CN, else the first issuer line's value, else "".
  std::string IssuerName() const;
  // One attribute of the subject's or the issuer's name; "" when the name
  // lacks it or the object is empty. The e-mail address is taken from the
  // alternative names when the name has none.
  std::string NameAttribute(TNameOf whose, TNameAttribute which) const;
  // Upper-case hex of the serial number's octets, most significant first.
  std::string SerialNumber() const;

  // Hands the certificate to the display hook (set by the windows). Raises
  // Exception("Cannot display certificate") without a hook or when the hook
  // fails. Does nothing for an empty object.
  void Show() const;
  // Adds the certificate to the user's named store as new; failures are
  // ignored. Does nothing for an empty object.
  void AddToStore(const std::string& storeName) const;

  // Certificates that came with this one (the rest of the message it was
  // found in), offered as intermediates when its chain is built.
  const std::vector<crypto::TCertHandle>& Companions() const;
  void SetCompanions(std::vector<crypto::TCertHandle> companions);

private:
  void Reset(crypto::TCertHandle handle);

  crypto::TCertHandle Handle_;
  std::shared_ptr<const std::vector<crypto::TCertHandle>> Companions_;
  mutable std::unique_ptr<TStringListX> SubjectParts_;
  mutable std::unique_ptr<TStringListX> IssuerParts_;
};

// Shows the certificate dialog for the certificate in the DER file at path
// (a temporary file deleted afterwards); returns 0 on success.
using TCertificateDisplayHook = std::function<int(const TCertificate& certificate, const std::string& path)>;
void SetCertificateDisplayHook(TCertificateDisplayHook hook);

// The "name=value" lines of an X.501 name, built as TCertificate's name
// lists are (also used for the issuers named in PKCS #7 structures): only
// single-valued sets count, names are the short names of OidNames.h ("" for
// OIDs it has none for) and a later name replaces an earlier one, ignoring
// case.
TStringListX NameParts(std::string_view nameDer);
TStringListX NameParts(const TAsnElem& name);

}  // namespace tessel
