#include "sim/sim_adapter_factory.h"

#include "link/adapter_choice.h"
#include "sim/sim_adapter.h"

namespace zemlo::sim {

void RegisterProcessSimAdapter() {
  RegisterSimAdapterFactory([] { return ProcessSimAdapter().MakeDriver(); });
}

}  // namespace zemlo::sim
