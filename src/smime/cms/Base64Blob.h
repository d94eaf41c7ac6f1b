// Blobs made from base64 text, for the S/MIME body parts.
#pragma once

#include <string_view>

#include "asn1/asn1.h"

namespace tessel {

// Decodes the base64 text into a new blob (record and data) and returns
// true. Text that is not base64 ends the octets where the decoder stops.
bool Base64ToBlob(std::string_view text, TBlobPtr& blob);
// Releases the blob's data and record; an absent blob is ignored.
void FreeBlob(TBlobPtr& blob);

}  // namespace tessel
