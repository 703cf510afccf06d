#include "tools/tkwpreview/preview_command.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>

#include "host/command_bars/command_bar_state.h"
#include "host/platform_host.h"
#include "host/runtime_error.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwpreview/picture_drawing.h"

namespace tkw::preview {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: tkwpreview [--prefix DIR | --powerpoint FILE] --out FILE.png [--svg FILE.svg] "
    "[--view bars|addins] [--after-close]";

struct Options {
  fs::path prefix;
  std::optional<fs::path> powerPoint;  // a snapshot, drawn in place of the machine's PowerPoint
  fs::path png;
  std::optional<fs::path> svg;
  View view = View::kCommandBars;
  bool afterClose = false;  // the bars as PowerPoint keeps them once it has closed
};

// A message as one line, whatever the text it quotes.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

std::optional<Options> Parse(const std::vector<std::string>& args, std::ostream& err) {
  Options options;
  std::optional<fs::path> prefix, png;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--after-close") {
      options.afterClose = true;
      continue;
    }
    if (name != "--prefix" && name != "--powerpoint" && name != "--out" && name != "--svg" &&
        name != "--view") {
      err << "tkwpreview: unknown argument \"" << OneLine(name) << "\"; " << kUsage << '\n';
      return std::nullopt;
    }
    if (i + 1 == args.size()) {
      err << "tkwpreview: " << name << " needs a value; " << kUsage << '\n';
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (name == "--prefix") {
      prefix = value;
    } else if (name == "--powerpoint") {
      options.powerPoint = value;
    } else if (name == "--out") {
      png = value;
    } else if (name == "--svg") {
      options.svg = value;
    } else if (value == "bars" || value == "addins") {
      options.view = value == "bars" ? View::kCommandBars : View::kAddIns;
    } else {
      err << "tkwpreview: --view is \"bars\" or \"addins\", not \"" << OneLine(value) << "\"\n";
      return std::nullopt;
    }
  }
  if (!png) {
    err << "tkwpreview: --out is missing; " << kUsage << '\n';
    return std::nullopt;
  }
  if (prefix && options.powerPoint) {
    err << "tkwpreview: --prefix and --powerpoint name two PowerPoints; " << kUsage << '\n';
    return std::nullopt;
  }
  options.png = *png;
  // The machine beside the executable, as the program finds it.
  options.prefix = prefix ? *prefix : host::ProgramMachinePrefix();
  return options;
}

}  // namespace

int RunPreview(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage << '\n';
    return 0;
  }
  const std::optional<Options> options = Parse(args, err);
  if (!options)
    return 2;
  std::optional<command_bars::CommandBarSet> bars;
  std::string drawn = snapshot::kThisMachine;
  if (options->powerPoint) {
    try {
      snapshot::JudgedPowerPoint given = snapshot::LoadSnapshot(*options->powerPoint);
      bars.emplace(std::move(given.bars));
      drawn = given.name;
    } catch (const std::exception& failure) {
      err << "tkwpreview: " << OneLine(failure.what()) << '\n';
      return 2;
    }
  }
  std::error_code error;
  if (!bars && !fs::is_directory(options->prefix, error)) {
    err << "tkwpreview: no emulated machine at " << options->prefix.string() << '\n';
    return 2;
  }
  // Without a state file PowerPoint shows its built-in bars, and so does the picture.
  const fs::path state = options->prefix / "powerpoint" / "commandbars.json";
  try {
    if (!bars)
      bars.emplace(command_bars::LoadCommandBars(state));
  } catch (const host::RuntimeError& failure) {
    err << "tkwpreview: " << OneLine(failure.description()) << '\n';
    return 2;
  } catch (const std::exception& failure) {
    err << "tkwpreview: cannot read " << state.string() << ": " << OneLine(failure.what()) << '\n';
    return 2;
  }
  if (options->afterClose)
    bars->Close();
  const Picture picture =
      LayOutPicture(*bars, options->view, options->afterClose ? Moment::kClosed : Moment::kRunning);
  try {
    WritePng(picture, options->png);
    if (options->svg)
      WriteSvg(picture, *options->svg);
  } catch (const std::exception& failure) {
    err << "tkwpreview: " << OneLine(failure.what()) << '\n';
    return 1;
  }
  out << "drew " << drawn << '\n';
  return 0;
}

}  // namespace tkw::preview
