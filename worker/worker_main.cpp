#include "conductor/worker_entry.hpp"

int main(int argc, char** argv) { return tesmira::conductor::worker_main(argc, argv); }
