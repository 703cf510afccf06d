// tkwpreview: draws the emulated PowerPoint's command bars into a PNG (and an SVG).
#include <iostream>

#include "tools/tkwpreview/preview_command.h"

int main(int argc, char** argv) {
  return tkw::preview::RunPreview({argv + 1, argv + argc}, std::cout, std::cerr);
}
