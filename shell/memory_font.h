// The memory window's list font: the dialog's font with only its face changed to Courier New, or
// to the first installed face whose narrow and wide glyphs advance alike.
#pragma once

#include <QFont>

namespace zemlo::shell {

QFont MemoryListFont(const QFont& dialogFont);

}  // namespace zemlo::shell
