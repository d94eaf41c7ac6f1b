// Which content pages a body part gets in the document window, and the text
// those pages show. Plain rules over the part's transfer encoding, its size
// and its decoded bytes, so the window only places what they return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessel {

// Parts this large (bytes from the header's start to the body's end) are not
// copied into the text boxes until the user asks: filling a text box with
// megabytes blocks the window for seconds on every pointer move.
constexpr int64_t kContentSizeLimit = 100000;
// What the two content text boxes show for a part over the limit.
extern const char kBodySizeGuardText[];
// Caption of the buttons that fill the boxes of a guarded part.
extern const char kDisplayContentCaption[];

enum class TContentPage { Raw, Decoded, SmimeInfo };

// Whether a part with this transfer encoding gets the "Transport-Decoded"
// page at all: every encoding except "", "7bit" and "8bit" (any case), so
// "binary" and unknown encodings are decoded and scanned too.
bool HasDecodedPage(std::string_view transferEncoding);
// Whether decoded bytes read as text: none of the bytes 0-8, 11, 12, 14-31.
bool IsDecodedText(std::string_view bytes);
// Whether a part spanning [headerStart, bodyEnd) is kept out of the boxes.
bool IsOverSizeLimit(int64_t headerStart, int64_t bodyEnd);

struct TContentPages {
  bool Guarded = false;    // the boxes show kBodySizeGuardText and the buttons
  bool Decoded = false;    // "Transport-Decoded" is shown
  bool SmimeInfo = false;  // "S/MIME Info" is shown
  TContentPage Front = TContentPage::Raw;
};

// The pages of one part. decoded: the decoded bytes when they were made (a
// part under the limit whose encoding gets the page), std::nullopt otherwise;
// a decoding that failed counts as made, with the failure shown in the page,
// so pass decodeFailed. smimeItems: the S/MIME page would hold any row.
TContentPages ChooseContentPages(std::string_view transferEncoding, int64_t headerStart, int64_t bodyEnd,
                                 const std::optional<std::string_view>& decoded, bool decodeFailed, bool smimeItems);

// Message bytes as text for a text box, as UTF-8: valid UTF-8 stays as it
// is, anything else is read as ISO 8859-1. A NUL byte is a character like
// any other and does not end the text.
std::string SystemText(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

}  // namespace tessel
