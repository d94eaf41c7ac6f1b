// The launcher's entries for the commands that need the windows: listed in
// its help like the others, and run by the viewer program in its place.
#include "ui/ViewerCommandText.h"
#include "ui/ViewerLaunch.h"
#include "ui/cli/Command.h"

namespace tessel {

namespace {

int HandToViewer(cli::TCommandContext& ctx) { return ExecViewer(RememberedProgramArguments(), ctx.Err); }

const cli::TCommandRegistrar kScreenshot(kScreenshotOption, kScreenshotUsage, kScreenshotHelp, HandToViewer);

}  // namespace

}  // namespace tessel
