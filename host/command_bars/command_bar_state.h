// A PowerPoint's command bars as a state file keeps them: the emulated PowerPoint's between runs,
// or a snapshot of a real one, which the tools judge against. A UTF-8 JSON file {"running":
// true|false, "commandBars": [bar...]}, bars and controls in their order. Without "running"
// PowerPoint is running, as it was before it could be closed.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "host/command_bars/command_bar_model.h"

namespace tkw::command_bars {

// PowerPoint's bars as a fresh installation has them.
CommandBarSet BuiltInCommandBars();

// Throws host::RuntimeError describing where the text breaks the schema.
CommandBarSet ParseCommandBars(std::string_view json);
// Laid out as nlohmann's dump(2) lays it out.
void WriteCommandBars(const CommandBarSet& bars, std::ostream& out);
std::string SerializeCommandBars(const CommandBarSet& bars);

// Another set of the same bars, to change apart from `bars`.
CommandBarSet CopyCommandBars(const CommandBarSet& bars);

// A missing file gives the built-in bars; an unreadable or malformed one throws
// host::RuntimeError naming the file.
CommandBarSet LoadCommandBars(const std::filesystem::path& file);

// Writes a temporary file beside `file` and renames it over `file`, so a reader sees the old
// state or the new one, never a part. Creates the folder. Throws host::RuntimeError.
void SaveCommandBars(const CommandBarSet& bars, const std::filesystem::path& file);

// Opens or closes (CommandBarSet::Open, Close) the PowerPoint kept in `file`, which no one is
// using. Throws host::RuntimeError as LoadCommandBars and SaveCommandBars do.
void SetPowerPointRunning(const std::filesystem::path& file, bool running);

}  // namespace tkw::command_bars
