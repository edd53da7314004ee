// The memory window's list font: the dialog's font with only its face changed to Courier New, or
// to the system's fixed-pitch face where Courier New is not installed.
#pragma once

#include <QFont>

namespace zemlo::shell {

QFont MemoryListFont(const QFont& dialogFont);

}  // namespace zemlo::shell
