// The message-level security summary: the first signed and the first
// enveloped layer among the message's roots, whether the signer's address
// matches the From field, and the signer's certificate remembered in the
// user's "AddressBook" store.
#pragma once

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

}  // namespace tessel
