// The settings the main window keeps in the configuration file, as plain
// functions over TQXConfigFile so that every rule is tested without a screen.
//
// Keys:
//   window/placement  L, T, W, H   the main window's frame position and size,
//                                  written only in the normal window state
//   View/AsPanels                  "1" panels, "0" (or absent) tree
//   Options/DisplayAsnForSmimeParts, Options/CreateTempFiles
//                                  "No"/"Yes", with the allowed list in "Values"
//   Options/DumpDirectory          the current directory at the first start
//   mru, last-file-name            file names, each line ended by CR LF
//
// Values a person edited by hand are trusted no further than their form: a
// placement with a missing or non-numeric side is no placement at all, and a
// start never fails on a setting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessel {

class TQXConfigFile;

inline constexpr char kPlacementKey[] = "window/placement";
inline constexpr char kViewAsPanelsKey[] = "View/AsPanels";
inline constexpr char kDisplayAsnKey[] = "Options/DisplayAsnForSmimeParts";
inline constexpr char kCreateTempFilesKey[] = "Options/CreateTempFiles";
inline constexpr char kDumpDirectoryKey[] = "Options/DumpDirectory";
inline constexpr char kRecentFilesKey[] = "mru";
inline constexpr char kLastFilesKey[] = "last-file-name";

// The window's size before anything is stored.
inline constexpr int32_t kDesignWidth = 696;
inline constexpr int32_t kDesignHeight = 480;
// X11 coordinates are 16-bit: a larger side is a broken value, not a window.
inline constexpr int32_t kMaxWindowSide = 32767;
// A window counts as on a screen when at least this much of it (or all of
// it, when smaller) shows there: enough to grab it by its title bar.
inline constexpr int32_t kMinVisibleSide = 50;

struct TRect {
  int32_t X = 0, Y = 0, W = 0, H = 0;
  bool operator==(const TRect&) const = default;
};

// The stored placement; nullopt when the key is missing or any of its four
// values is missing, not an integer, or a side is outside 1..kMaxWindowSide.
std::optional<TRect> ReadPlacement(TQXConfigFile& config);
void WritePlacement(TQXConfigFile& config, const TRect& placement);

// Where a stored placement may really go: unchanged when enough of it shows
// on one of the screens; otherwise moved onto the primary screen, centred
// and shrunk to fit it (a monitor unplugged since the last run must not
// leave the window out of reach).
TRect FitOnScreens(const TRect& placement, const std::vector<TRect>& screens, const TRect& primary);

// A value that is not an integer reads as absent (false).
bool ReadViewAsPanels(TQXConfigFile& config);
void WriteViewAsPanels(TQXConfigFile& config, bool panels);

// The first-start defaults: an empty option becomes its default, the
// "Values" lists are always written, an empty dump directory becomes
// currentDirectory.
void InitOptions(TQXConfigFile& config, const std::string& currentDirectory);

// Only the exact stored text "Yes" routes dropped messages through a
// temporary file.
bool DropsUseTempFiles(TQXConfigFile& config);

// A list of file names kept one per line. Reading accepts CR LF, LF or CR
// line ends and skips empty lines; writing ends every line with CR LF and
// leaves out names that hold CR or LF (they would read back as two names).
std::vector<std::string> ReadFileList(TQXConfigFile& config, const std::string& path);
void WriteFileList(TQXConfigFile& config, const std::string& path, const std::vector<std::string>& names);

}  // namespace tessel
