#pragma once

// Stopping the user's session sends SIGTERM: quit the application's event
// loop on SIGTERM and SIGINT so that main() destroys the services in order
// (their HAL names are withdrawn, held callbacks released) instead of the
// process dying in the middle of them.
void quitOnTerminationSignals();
