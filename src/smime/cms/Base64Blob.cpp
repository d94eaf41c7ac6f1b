#include "smime/cms/Base64Blob.h"

#include "util/encodings/Base64.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"

namespace tessel {

bool Base64ToBlob(std::string_view text, TBlobPtr& blob) {
  TStringStream octets;
  try {
    Base64DecodeString(text, octets);
  } catch (const Exception&) {
    // A pad too early ends the octets; what was decoded before it stays.
  }
  const std::string& data = octets.DataString();
  blob = NewBlob(data.data(), static_cast<int32_t>(data.size()));
  return true;
}

void FreeBlob(TBlobPtr& blob) { blob.reset(); }

}  // namespace tessel
