// The two ways the windows start: the viewer on files, and a picture of
// the window rendered off screen (tessel --screenshot).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessel {

// Creates the application, opens files and runs until the last window is
// closed; returns the exit status. Everything the windows need (S/MIME
// part classes, content-type database, wait cursor) is set up here and
// shut down after the last window is destroyed.
int RunViewer(int argc, char** argv, const std::vector<std::string>& files);

struct TScreenshotOptions {
  std::string Output;
  std::string File;
  bool Panels = false;
  std::string Select;  // part paths, "" for none
  std::string Lock;
  bool ExpandAll = false;
  int Width = 1100;
  int Height = 700;
};

// Parses the arguments after "--screenshot"; false (with the reason on
// err) for a bad command line.
bool ParseScreenshotArgs(std::vector<std::string> args, TScreenshotOptions& options, std::ostream& err);
// Renders the viewer's window on options.File into options.Output on the
// offscreen platform. Returns the command line's exit status.
int RunScreenshot(const TScreenshotOptions& options, std::ostream& err);

// Environment for a window test or picture: the offscreen platform unless
// one is chosen, scale 1. Call before the application exists.
void UseOffscreenDefaults();

}  // namespace tessel
