#include "ui/WindowSettings.h"

#include <algorithm>

#include "config/QXConf.h"
#include "util/charsets/Charsets.h"
#include "util/system/Exception.h"

namespace tessel {

namespace {

std::optional<int32_t> ReadIntegerValue(const TQCKey& key, const char* name) {
  if (!key.HasValue(name)) return std::nullopt;
  try {
    return StrToInt(key.ReadValue(name));
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// An option with a fixed list of allowed values.
void InitChoice(TQXConfigFile& config, const char* path, const char* defaultValue, const char* values) {
  TQCKey& key = config.OpenKey(path);
  if (key.Value().empty()) key.SetValue(Utf8ToWide(defaultValue));
  key.WriteValue("Values", Utf8ToWide(values));
}

int64_t Overlap(int64_t a, int64_t aLength, int64_t b, int64_t bLength) {
  return std::max<int64_t>(0, std::min(a + aLength, b + bLength) - std::max(a, b));
}

}  // namespace

std::optional<TRect> ReadPlacement(TQXConfigFile& config) {
  if (!config.Root().KeyExists(kPlacementKey)) return std::nullopt;
  const TQCKey* key = config.Root().FindKey(std::string(kPlacementKey));
  if (key == nullptr) return std::nullopt;
  auto l = ReadIntegerValue(*key, "L"), t = ReadIntegerValue(*key, "T");
  auto w = ReadIntegerValue(*key, "W"), h = ReadIntegerValue(*key, "H");
  if (!l || !t || !w || !h) return std::nullopt;
  if (*w < 1 || *w > kMaxWindowSide || *h < 1 || *h > kMaxWindowSide) return std::nullopt;
  return TRect{*l, *t, *w, *h};
}

void WritePlacement(TQXConfigFile& config, const TRect& placement) {
  TQCKey& key = config.OpenKey(kPlacementKey);
  key.WriteInteger("L", placement.X);
  key.WriteInteger("T", placement.Y);
  key.WriteInteger("W", placement.W);
  key.WriteInteger("H", placement.H);
}

TRect FitOnScreens(const TRect& placement, const std::vector<TRect>& screens, const TRect& primary) {
  for (const TRect& screen : screens) {
    const int64_t across = Overlap(placement.X, placement.W, screen.X, screen.W);
    const int64_t down = Overlap(placement.Y, placement.H, screen.Y, screen.H);
    if (across >= std::min(placement.W, kMinVisibleSide) && down >= std::min(placement.H, kMinVisibleSide) &&
        across > 0 && down > 0)
      return placement;
  }
  TRect fitted = placement;
  fitted.W = std::min(placement.W, primary.W);
  fitted.H = std::min(placement.H, primary.H);
  fitted.X = primary.X + (primary.W - fitted.W) / 2;
  fitted.Y = primary.Y + (primary.H - fitted.H) / 2;
  return fitted;
}

bool ReadViewAsPanels(TQXConfigFile& config) {
  try {
    return config.ReadBool(kViewAsPanelsKey, std::string());
  } catch (const Exception&) {
    return false;  // not a number: as if absent
  }
}

void WriteViewAsPanels(TQXConfigFile& config, bool panels) {
  config.WriteBool(kViewAsPanelsKey, std::string(), panels);
}

void InitOptions(TQXConfigFile& config, const std::string& currentDirectory) {
  InitChoice(config, kDisplayAsnKey, "No", "No;Yes");
  InitChoice(config, kCreateTempFilesKey, "Yes", "Yes;No");
  if (config.ReadString(kDumpDirectoryKey).empty()) config.WriteString(kDumpDirectoryKey, Utf8ToWide(currentDirectory));
}

bool DropsUseTempFiles(TQXConfigFile& config) { return config.ReadString(kCreateTempFilesKey) == u"Yes"; }

std::vector<std::string> ReadFileList(TQXConfigFile& config, const std::string& path) {
  const std::string text = WideToUtf8(config.ReadString(path));
  std::vector<std::string> names;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

void WriteFileList(TQXConfigFile& config, const std::string& path, const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (name.empty() || name.find_first_of("\r\n") != std::string::npos) continue;
    text += name;
    text += "\r\n";
  }
  config.WriteString(path, Utf8ToWide(text));
}

}  // namespace tessel
