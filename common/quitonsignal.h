#pragma once

// Stopping the user's session (or the program's unit) sends SIGTERM: quit
// the application's event loop on SIGTERM and SIGINT so that main()
// destroys its objects in order (binder names withdrawn, held callbacks
// released, host notifications closed) instead of the process dying in the
// middle of them.
void quitOnTerminationSignals();
