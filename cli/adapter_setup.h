// Choosing the driver behind the link from the --adapter text.
#pragma once

#include <string>

namespace zemlo::cli {

// Installs the driver named by `adapter`; false with a reason when the text names none.
bool InstallAdapter(const std::string& adapter, std::string* error);

// Closes the adapter at the end of a command, so a console peer sees the link end at once.
void CloseAdapter();

}  // namespace zemlo::cli
