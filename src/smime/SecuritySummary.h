// The message-level security summary: the first signed and the first
// enveloped layer among the message's roots, whether the signer's address
// matches the From field, and the signer's certificate remembered in the
// user's "AddressBook" store.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "SmimeInfo.h"
#include "mime/Message.h"

namespace tessel {

// The message's summary (message.SecurityInfo), or nullptr when the message
// was made without the S/MIME classes registered.
TSmimeInfo* SecurityInfoOf(const TMessage& message);

// Fills message.SecurityInfo from the roots (the end of every parse). The
// signer's certificate is added to "AddressBook"; failures there are
// ignored.
void BuildSecuritySummary(TMessage& message);

// The text of a verification or decryption status: the system's text of
// the code, "not checked" for kStatusNotChecked.
std::string StatusCodeText(uint32_t code);
// The meaning of the set trust-status bits ("untrusted root, partial
// chain"); "" for 0.
std::string TrustStatusText(uint32_t status);

// Every field of info in declaration order as (name, value): flags "yes" or
// "no", codes "0x%08X" followed by their text, certificates as serial
// number " from " issuer name, lists joined by ", ".
std::vector<std::pair<std::string, std::string>> SummaryFields(const TSmimeInfo& info);

}  // namespace tessel
