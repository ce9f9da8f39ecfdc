#pragma once

namespace tesmira::conductor {

// The `tesmira-compare` program: compares OLD and NEW (two PDFs, or two folders of PDFs
// paired by name) with the worker's own run and tells the outcome as diff does.
// Returns 0 when no page differs, 1 when some page differs, 2 on a refusal or an error (its
// message on standard error), 130 after SIGTERM or SIGINT. Without --output nothing is kept.
int compare_main(int argc, char** argv);

}  // namespace tesmira::conductor
