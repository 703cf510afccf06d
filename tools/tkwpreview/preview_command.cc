#include "tools/tkwpreview/preview_command.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>

#include "host/command_bars/command_bar_state.h"
#include "host/platform_host.h"
#include "host/runtime_error.h"
#include "tools/command_line/command_line.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwpreview/picture_drawing.h"

namespace tkw::preview {
namespace {

namespace fs = std::filesystem;

const command_line::Tool kTool{
    "tkwpreview",
    "usage: tkwpreview [--prefix DIR | --powerpoint FILE] --out FILE.png [--svg FILE.svg]\n"
    "                  [--view bars|addins] [--after-close]\n",
    "Draws the emulated PowerPoint's command bars into a PNG (and an SVG).\n"
    "  --prefix DIR        the emulated machine (without it: the program's own)\n"
    "  --powerpoint FILE   the PowerPoint of a snapshot instead\n"
    "  --out FILE.png      the picture\n"
    "  --svg FILE.svg      the same picture as SVG as well\n"
    "  --view bars|addins  the bars as PowerPoint 2003 shows them (the default), or as the\n"
    "                      Add-Ins tab of later versions shows them\n"
    "  --after-close       the bars once PowerPoint has closed\n"
    "  --help, -h          this text; --version: the version\n"
    "Exit status: 0 drawn, 1 the picture cannot be written, 2 the machine or snapshot cannot be\n"
    "read or the command line is wrong.\n"};

using command_line::OneLine;
using command_line::UsageError;

struct Options {
  fs::path prefix;
  std::optional<fs::path> powerPoint;  // a snapshot, drawn in place of the machine's PowerPoint
  fs::path png;
  std::optional<fs::path> svg;
  View view = View::kCommandBars;
  bool afterClose = false;  // the bars as PowerPoint keeps them once it has closed
};

Options Parse(command_line::Arguments& arguments) {
  Options options;
  std::optional<fs::path> prefix, png;
  const auto value = [&](std::optional<fs::path>& into, const std::string& option) {
    if (into)
      throw UsageError(option + " is given twice");
    into = arguments.ValueOf(option);
  };
  while (!arguments.Done()) {
    const std::string name = arguments.Next();
    if (name == "--after-close") {
      options.afterClose = true;
    } else if (name == "--prefix") {
      value(prefix, name);
    } else if (name == "--powerpoint") {
      value(options.powerPoint, name);
    } else if (name == "--out") {
      value(png, name);
    } else if (name == "--svg") {
      value(options.svg, name);
    } else if (name == "--view") {
      const std::string view = arguments.ValueOf(name);
      if (view != "bars" && view != "addins")
        throw UsageError("--view is bars or addins, not " + view);
      options.view = view == "bars" ? View::kCommandBars : View::kAddIns;
    } else {
      command_line::Unknown(name);
    }
  }
  if (!png)
    throw UsageError("--out FILE.png is missing");
  if (prefix && options.powerPoint)
    throw UsageError("--prefix and --powerpoint name two PowerPoints");
  options.png = *png;
  // The machine beside the executable, as the program finds it.
  options.prefix = prefix ? *prefix : host::ProgramMachinePrefix();
  return options;
}

int Draw(const Options& options, std::ostream& out, std::ostream& err) {
  std::optional<command_bars::CommandBarSet> bars;
  std::string drawn = snapshot::kThisMachine;
  if (options.powerPoint) {
    snapshot::JudgedPowerPoint given = snapshot::LoadSnapshot(*options.powerPoint);
    bars.emplace(std::move(given.bars));
    drawn = given.name;
  }
  std::error_code error;
  if (!bars && !fs::is_directory(options.prefix, error))
    throw std::runtime_error("no emulated machine at " + options.prefix.string());
  // Without a state file PowerPoint shows its built-in bars, and so does the picture.
  const fs::path state = options.prefix / "powerpoint" / "commandbars.json";
  if (!bars)
    bars.emplace(snapshot::LoadStateFile(state));
  if (options.afterClose)
    bars->Close();
  const Picture picture =
      LayOutPicture(*bars, options.view, options.afterClose ? Moment::kClosed : Moment::kRunning);
  try {
    WritePng(picture, options.png);
    if (options.svg)
      WriteSvg(picture, *options.svg);
  } catch (const std::exception& failure) {
    err << kTool.name << ": " << OneLine(failure.what()) << '\n';
    return 1;
  }
  out << "drew " << drawn << '\n';
  return 0;
}

}  // namespace

int RunPreview(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return command_line::ToolMain(kTool, command_line::Arguments(args), out, err, Parse,
                                [&](const Options& options) { return Draw(options, out, err); });
}

}  // namespace tkw::preview
