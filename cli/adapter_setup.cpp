#include "cli/adapter_setup.h"

#include "link/link.h"
#include "sim/sim_adapter.h"

namespace zemlo::cli {

bool InstallAdapter(const std::string& adapter, std::string* error) {
  if (adapter == "sim") {
    InstallDriver(sim::ProcessSimAdapter().MakeDriver());
    return true;
  }
  *error = "unknown adapter '" + adapter + "'";
  return false;
}

void CloseAdapter() {
  if (FT_HANDLE handle = g_ftHandle.exchange(nullptr)) {
    if (D2xxDriver* driver = ActiveDriver()) driver->FT_Close(handle);
  }
  g_connected = 0;
}

}  // namespace zemlo::cli
