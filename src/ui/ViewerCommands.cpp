// The command that needs the windows: a picture of the viewer's window.
// It lives with the viewer program, not with the headless commands, so
// those stay free of the window system.
#include <iostream>

#include "ui/ViewerCommandText.h"
#include "ui/cli/Command.h"
#include "ui/window/Viewer.h"

namespace tessel {

namespace {

int ScreenshotCommand(cli::TCommandContext& ctx) {
  std::vector<std::string> args = ctx.Args;
  args.insert(args.begin(), kScreenshotOption);
  TScreenshotOptions options;
  if (!ParseScreenshotArgs(args, options, ctx.Err)) return cli::ExitUsage;
  return RunScreenshot(options, ctx.Err);
}

const cli::TCommandRegistrar kScreenshot(kScreenshotOption, kScreenshotUsage, kScreenshotHelp, ScreenshotCommand);

}  // namespace

}  // namespace tessel
