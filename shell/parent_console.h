// The console of the shell that started the desktop client, on Windows. The client is a program of
// the GUI subsystem, which starts without a console: started from cmd or PowerShell, its help, its
// usage errors and a failed start would be printed nowhere. It writes to the shell's console until
// its event loop runs and lets go of it then, so that Ctrl-C or closing that console no longer ends
// the program behind its open window. Elsewhere, and where the streams are redirected, nothing
// changes.
#pragma once

namespace zemlo::shell {

// Takes the console of the parent process for the streams that lead nowhere, if it has one.
void AttachParentConsole();

// Lets go of a console taken by AttachParentConsole.
void ReleaseParentConsole();

}  // namespace zemlo::shell
