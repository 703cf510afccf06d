// The program takes no arguments: it loads its one form, whose load is the whole run.
#include "host/platform_host.h"
#include "run/frmTkwPPTToolbarAdder.h"

int main() {
  const auto host = tkw::host::MakePlatformHost();
  tkw::frmTkwPPTToolbarAdder form(*host);
  form.Form_Load();
  // A run cut short leaves the form loaded; the process ends all the same, leaving the marker
  // and the mutex to the platform.
  return 0;
}
