// tkwpreview's command line: a picture of PowerPoint's command bars on an emulated machine.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tkw::preview {

// The arguments without the program's name. 0 on success, 2 for a wrong command line or a
// machine whose PowerPoint state cannot be read, 1 when the picture cannot be written; every
// failure is one line on `err`.
int RunPreview(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tkw::preview
