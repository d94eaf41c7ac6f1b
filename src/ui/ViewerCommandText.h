// The command line of the commands that run in the viewer program, shared
// by the launcher (which lists them and hands them over) and the viewer.
#pragma once

namespace tessel {

inline constexpr const char* kScreenshotOption = "--screenshot";
inline constexpr const char* kScreenshotUsage =
    "OUT.png [--view tree|panels] [--select PART] [--lock PART] [--expand-all] [--size WxH] FILE";
inline constexpr const char* kScreenshotHelp = "a picture of the viewer's window on FILE";

}  // namespace tessel
