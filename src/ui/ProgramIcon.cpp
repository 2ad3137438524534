#include "ui/ProgramIcon.h"

// The icon resources live in a static library; registering them here keeps
// the linker from dropping them. Q_INIT_RESOURCE must run outside a namespace.
static void RegisterIconResources() { Q_INIT_RESOURCE(lumivane); }

namespace lumivane {

QIcon ProgramIcon() {
  RegisterIconResources();
  QIcon icon;
  for (int size : {16, 32, 48}) {
    icon.addFile(QStringLiteral(":/icons/lumivane-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace lumivane
