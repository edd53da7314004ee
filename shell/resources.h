// The program's icon, from the resources compiled into the client.
#pragma once

#include <QIcon>

namespace zemlo::shell {

QIcon AppIcon();

}  // namespace zemlo::shell
