// Access keys that more than one enabled menu-bar entry shares move the highlight between those
// entries instead of opening one of them; Enter or Down then opens the highlighted entry. A key
// that one enabled entry has (and disabled ones share) opens that entry.
#pragma once

class QMenuBar;

namespace zemlo::shell {

void CycleSharedAccessKeys(QMenuBar& bar);

}  // namespace zemlo::shell
