// Ctrl-C as a long command's Stop button: while an InterruptAsStop lives, Ctrl-C only raises a
// flag that the command looks at between its steps, so that it ends as its dialog's Stop would.
// The previous handling comes back afterwards.
#pragma once

#include "link/terminal.h"

namespace zemlo::cli {

class InterruptAsStop {
 public:
  InterruptAsStop();

  // Whether Ctrl-C was pressed since the guard began.
  bool Requested() const;
  // The same, lowering the flag again so that a second Ctrl-C is seen as a second request.
  bool Take();

 private:
  InterruptGuard guard_;
};

}  // namespace zemlo::cli
