#pragma once

namespace tesmira::conductor {

// The worker program's whole run: prepares the process, parses the command line, runs the
// comparison or the archive job, and turns any failure into one "error" event.
// Returns the exit status: 0, 1 after an "error" event, 2 for a refused command line,
// 130 after SIGTERM.
int worker_main(int argc, char** argv);

}  // namespace tesmira::conductor
