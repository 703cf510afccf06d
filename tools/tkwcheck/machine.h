// tkwcheck --machine: whether a run of the program can work on a machine, and where its traces
// go. Judged from the facts a host::MachineFacts gives, so the same judgement serves Windows and
// the emulated machine.
#pragma once

#include <string>
#include <vector>

#include "host/machine_facts.h"
#include "tools/tkwcheck/check.h"

namespace tkw::check {

inline constexpr wchar_t kLogFileName[] = L"tkwtbrloggin.txt";
inline constexpr wchar_t kMarkerFileName[] = L"tkwtbrstrtd.txt";

// One finding per fact, none with a place: PowerPoint's registration and architecture, Office's
// interfaces for the program's architecture, the clipboard-backup component, who and where this
// process and PowerPoint run, the ANSI code page, and the folder beside the executable. A note
// where a run works, a warning where it works but something is off, an error where it fails or
// loses the user's clipboard. `logging` is the program's logging switch as it reads it.
std::vector<Finding> JudgeMachine(host::MachineFacts& facts, bool logging);

// %LOCALAPPDATA%\VirtualStore\<path without its drive>: where UAC virtualization puts a file that
// a virtualized program writes to `path`. Empty when `path` has no drive letter or there is no
// `localAppData`.
std::wstring VirtualStorePath(const std::wstring& localAppData, const std::wstring& path);

}  // namespace tkw::check
