// The findings of S/MIME layers (see mime/Findings.h): a layer that could
// not be decrypted or verified, content that did not parse, and a From
// field that is not the signer's.
#pragma once

#include <vector>

#include "mime/Findings.h"
#include "mime/Message.h"

namespace tessel {

// The S/MIME findings of one part (offsets in its text). message: the
// message the part belongs to (for the From field).
void AddSecurityFindings(const TMessage& message, const TBodyPart& part, std::vector<TFinding>& out);

// AddSecurityFindings as the hook of a finding collector (Findings.h); the
// message must outlive it.
TPartFindingHook SecurityFindingHook(const TMessage& message);

// Every finding of the message: the parser's, the bodies' and the S/MIME
// layers', in part order (CollectFindings). more: further findings of a
// part (a caller that looked at the bodies itself passes withBodies false
// and gives them here).
std::vector<TMessageFinding> MessageFindings(TMessage& message, bool withBodies = true,
                                             const TPartFindingHook& more = nullptr);

// Offset of the first header line of the part named name (any case), or
// the part's HeaderStart when there is none.
int64_t HeaderLineOffset(const TBodyPart& part, std::string_view name);

}  // namespace tessel
