#include "cli/adapter_setup.h"

#include "link/adapter_choice.h"
#include "link/link.h"
#include "sim/sim_adapter_factory.h"

namespace zemlo::cli {

bool InstallAdapter(const std::string& adapter, std::string* error) {
  sim::RegisterProcessSimAdapter();
  std::unique_ptr<D2xxDriver> driver = MakeDriverForAdapter(adapter, error);
  if (!driver) return false;
  InstallDriver(std::move(driver));
  return true;
}

void CloseAdapter() {
  if (FT_HANDLE handle = g_ftHandle.exchange(nullptr)) {
    if (D2xxDriver* driver = ActiveDriver()) driver->FT_Close(handle);
  }
  g_connected = 0;
}

}  // namespace zemlo::cli
