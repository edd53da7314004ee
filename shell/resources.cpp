#include "shell/resources.h"

// A static library's resources are registered only when something asks for them.
static void InitZemloResources() {
  Q_INIT_RESOURCE(zemlo);
}

namespace zemlo::shell {

QIcon AppIcon() {
  static const bool registered = (InitZemloResources(), true);
  (void)registered;
  return QIcon(QStringLiteral(":/zemlo/zemlo.svg"));
}

}  // namespace zemlo::shell
