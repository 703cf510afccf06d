// Feeds arbitrary bytes to tkwcheck's readers: as a regedit export, checked against PowerPoint's
// built-in bars, and as a diagnostic log to explain.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "host/command_bars/command_bar_state.h"
#include "host/formats/reg_file.h"
#include "tools/tkwcheck/check.h"
#include "tools/tkwcheck/report.h"
#include "tools/tkwcheck/run_story.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;

  std::ostream discard(nullptr);
  const auto file = tkw::formats::RegFile::Parse(bytes, "fuzz.reg", discard);
  const auto settings = tkw::check::SettingsOfRegFile(file, "fuzz.reg");
  // PowerPoint's bars are only met by definitions; most inputs have none to check.
  tkw::check::Machine machine{
      settings ? tkw::command_bars::BuiltInCommandBars() : tkw::command_bars::CommandBarSet(),
      nullptr};
  const auto findings =
      tkw::check::CheckSettings(settings.get(), tkw::check::Place{"fuzz.reg", 0, {}, {}}, machine);
  tkw::check::PrintFindings(out, findings, tkw::check::Format::kJson);

  try {
    const tkw::check::RunStory story = tkw::check::ReadRunStory(bytes);
    tkw::check::PrintStory(out, story, nullptr, "", tkw::check::Format::kJson);
    tkw::check::PrintStory(out, story, nullptr, "", tkw::check::Format::kText);
  } catch (const std::runtime_error&) {
    // Not a log: the tool says so.
  }
  return 0;
}
