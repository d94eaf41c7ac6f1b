#include "ui/DropFormats.h"

namespace tessel {

namespace {

constexpr std::string_view kInternetMessage = "Internet Message (rfc822/rfc1522)";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a "file:" URL on this host, "" when it names no local file.
std::string LocalPathOfUrl(std::string_view url) {
  constexpr std::string_view kScheme = "file:";
  if (url.size() < kScheme.size()) return {};
  for (size_t i = 0; i < kScheme.size(); ++i)
    if ((url[i] | 0x20) != kScheme[i]) return {};
  url.remove_prefix(kScheme.size());
  if (url.substr(0, 2) == "//") {
    url.remove_prefix(2);
    const size_t slash = url.find('/');
    if (slash == std::string_view::npos) return {};
    const std::string_view host = url.substr(0, slash);
    if (!host.empty() && host != "localhost") return {};
    url.remove_prefix(slash);
  }
  if (url.empty() || url[0] != '/') return {};
  std::string path;
  for (size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size() && HexDigit(url[i + 1]) >= 0 && HexDigit(url[i + 2]) >= 0) {
      const char c = static_cast<char>(HexDigit(url[i + 1]) * 16 + HexDigit(url[i + 2]));
      if (c == '\0') return {};
      path += c;
      i += 2;
    } else if (url[i] == '?' || url[i] == '#') {
      break;
    } else {
      path += url[i];
    }
  }
  return path;
}

}  // namespace

TDropKind DropKindOfFormat(std::string_view format) {
  // Media types compare without regard to case; the Windows format name is
  // matched exactly, as Windows registers it.
  std::string lower(format);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
  if (lower == "text/uri-list") return TDropKind::Files;
  if (lower == "message/rfc822" || format == kInternetMessage) return TDropKind::Message;
  constexpr std::string_view kWrapped = "application/x-qt-windows-mime;value=\"";
  if (format.substr(0, kWrapped.size()) == kWrapped) {
    std::string_view name = format.substr(kWrapped.size());
    if (!name.empty() && name.back() == '"' && name.substr(0, name.size() - 1) == kInternetMessage)
      return TDropKind::Message;
  }
  return TDropKind::None;
}

TDropChoice ChooseDropFormat(const std::vector<std::string>& offered) {
  for (const std::string& format : offered) {
    const TDropKind kind = DropKindOfFormat(format);
    if (kind != TDropKind::None) return {kind, format};
  }
  return {};
}

std::vector<std::string> LocalFilesOfUriList(std::string_view uriList) {
  std::vector<std::string> files;
  size_t start = 0;
  while (start < uriList.size()) {
    size_t end = uriList.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = uriList.size();
    const std::string_view line = uriList.substr(start, end - start);
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string path = LocalPathOfUrl(line);
    if (!path.empty()) files.push_back(std::move(path));
  }
  return files;
}

std::string DroppedCaption(const std::string& subjectUtf8) {
  if (subjectUtf8.empty()) return "Dropped File";
  std::string caption;
  caption.reserve(subjectUtf8.size() + 15);
  for (char c : subjectUtf8) caption += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
  return caption + " (Dropped file)";
}

}  // namespace tessel
