// The GDB server's window: starts the stub on a port of the user's choice, shows the port taken
// and whether a gdb is attached, and stops it. The stub serves on a thread of its own; a gdb
// attached keeps the link, so the other tools are refused until it detaches or the server
// stops.
#pragma once

class QWidget;

namespace zemlo::shell {

// Shows the window (made on first use, kept for the run) and raises it.
QWidget* OpenGdbServerWindow(QWidget* owner);

// True while a gdb attached through the window keeps the link.
bool GdbServerHoldsLink();

// Stops a running server and waits for it: its gdb is let go and the game left running, before
// the link closes.
void StopGdbServer();

}  // namespace zemlo::shell
