// Content-page rules of the document window; see PartPages.h.
#include "ui/PartPages.h"

#include <cctype>

namespace tessel {

const char kBodySizeGuardText[] = "Body size exceeds 100K\r\n  ";
const char kDisplayContentCaption[] = "Display content";

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

bool HasDecodedPage(std::string_view transferEncoding) {
  return !(transferEncoding.empty() || EqualsNoCase(transferEncoding, "7bit") ||
           EqualsNoCase(transferEncoding, "8bit"));
}

bool IsDecodedText(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 32 || c == '\t' || c == '\n' || c == '\r') continue;
    return false;
  }
  return true;
}

bool IsOverSizeLimit(int64_t headerStart, int64_t bodyEnd) { return bodyEnd - headerStart >= kContentSizeLimit; }

TContentPages ChooseContentPages(std::string_view transferEncoding, int64_t headerStart, int64_t bodyEnd,
                                 const std::optional<std::string_view>& decoded, bool decodeFailed, bool smimeItems) {
  TContentPages pages;
  pages.Guarded = IsOverSizeLimit(headerStart, bodyEnd);
  if (HasDecodedPage(transferEncoding)) {
    // A guarded part has not been decoded: the page is offered unscanned.
    if (pages.Guarded)
      pages.Decoded = true;
    else
      pages.Decoded = decodeFailed || (decoded && IsDecodedText(*decoded));
  }
  pages.SmimeInfo = smimeItems;
  pages.Front = pages.SmimeInfo ? TContentPage::SmimeInfo : pages.Decoded ? TContentPage::Decoded : TContentPage::Raw;
  return pages;
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string SystemText(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace tessel
