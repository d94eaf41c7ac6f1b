// The message-level security summary: the first signed and the first
// enveloped layer among the message's roots and whether the signer's
// address matches the From field; and the step that remembers the signers
// in the user's "AddressBook" store, which only the viewer's opening of a
// message (or a command asked to) takes: reading a message writes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "smime/parts/SmimeInfo.h"
#include "mime/Message.h"

namespace tessel {

// The message's summary (message.SecurityInfo), or nullptr when the message
// was made without the S/MIME classes registered.
TSmimeInfo* SecurityInfoOf(const TMessage& message);

// A new summary with the stores the message's S/MIME parts will share (the
// start of every parse): each store is read once per message.
std::unique_ptr<TSecuritySummary> CreateSecuritySummary();

// Fills message.SecurityInfo from the roots (the end of every parse).
void BuildSecuritySummary(TMessage& message);

// Adds to the user's "AddressBook" store the certificate of every signer of
// the message's summary whose signature verified (a certificate whose
// signature did not verify may be anybody's). A certificate the store
// holds already is not added again, and an added one never replaces one
// that is there. Failures are ignored. Returns how many were added.
int32_t RememberSigners(const TMessage& message);

// The reasons keys of "My" could not decrypt the message, one sentence
// after the other; "" when there are none.
std::string DecryptProblemsText(const TSmimeInfo& info);

// The text of a verification or decryption status: the system's text of
// the code, "not checked" for kStatusNotChecked.
std::string StatusCodeText(uint32_t code);
// The meaning of the set trust-status bits ("untrusted root, partial
// chain"); "" for 0.
std::string TrustStatusText(uint32_t status);

// Every field of info in declaration order as (name, value): flags "yes" or
// "no", codes "0x%08X" followed by their text, certificates as serial
// number " from " issuer name, lists joined by ", ", attributes as
// OID "=" base64 of the value. Then, only when there are any, one
// "OtherSigner" per signer after the first (certificate and status code
// with its text) and "DecryptProblems".
std::vector<std::pair<std::string, std::string>> SummaryFields(const TSmimeInfo& info);

}  // namespace tessel
