// A PowerPoint's command bars read through automation alone, the way a client reads them from
// any PowerPoint: the live one on Windows, the emulated one on Linux.
#pragma once

#include "host/command_bars/command_bar_model.h"
#include "host/runtime/powerpoint.h"

namespace tkw::snapshot {

// Every bar (its English and its local name, kind, position, visibility, protection) and every
// control in its place (kind, id, caption, tag, macro, tooltip, visibility, style), pop-ups and
// all. It only
// reads: PowerPoint is left as it was. Faces are not read, and since PowerPoint does not say
// what is temporary, nothing is; the bars are those of a running PowerPoint. Throws
// std::runtime_error naming what PowerPoint did not answer.
command_bars::CommandBarSet ReadCommandBars(const host::Application& app);

}  // namespace tkw::snapshot
