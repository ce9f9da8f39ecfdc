#include "engine/page_job_entry.hpp"

int main(int argc, char** argv) { return tesmira::engine::page_job_main(argc, argv); }
