// A message file from a stranger: loaded with the line-end rule (read or
// mapped), parsed, every part walked with its content taken and its
// embedded messages expanded, then parsed again from the kept text.
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "mime/MessageFile.h"
#include "mime/MimeParser.h"

using namespace tessel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::TInputFile file;
  const std::string& path = file.Store(data, size);
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Both ways into memory, chosen by the input so that each gets its share.
  TFileAccess access = size % 2 ? TFileAccess::Map : TFileAccess::Read;
  std::unique_ptr<TText> text = LoadMessageText(path, access);
  std::string expected = HasBareLfHeader(bytes) ? ExpandBareLf(bytes) : std::string(bytes);
  FUZZ_CHECK(text->GetView(0, text->Length()) == expected, "loaded text differs from the line-end rule");
  text.reset();

  std::unique_ptr<TMessage> message;
  try {
    message = OpenMessageFile(path, MimeParseOptions(), access);
  } catch (const EMimeParseError&) {
    FUZZ_CHECK(!IsBarePkcs7(bytes), "a bare PKCS #7 object did not open");
    return 0;
  }
  FUZZ_CHECK(IsBarePkcs7(bytes) || message->Text->GetView(0, message->Text->Length()) == expected,
             "the opened message's text differs from the line-end rule");
  std::string first = fuzz::WalkMessage(*message);
  try {
    message->Reparse();
  } catch (const EMimeParseError&) {
    FUZZ_CHECK(false, "a text that parsed once does not parse again");
  }
  FUZZ_CHECK(fuzz::WalkMessage(*message) == first, "parsing the same text again gives another tree");
  return 0;
}
