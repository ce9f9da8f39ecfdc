#pragma once

namespace tesmira::engine {

// The page-job program: `tesmira-page-job JOB_FOLDER` runs one page job on the folder
// ("settings.json" in, the page's files out). Prints nothing on success.
// Returns 0 when the page's files are written; 1 when the job failed, with the failure's
// message in "error.json" (or on standard error when even that cannot be written); 2 for a
// command line that names no job folder, with the usage on standard error. "--help" and
// "--version" print to standard output and return 0.
int page_job_main(int argc, char** argv);

}  // namespace tesmira::engine
