#include "conductor/compare_entry.hpp"

int main(int argc, char** argv) { return tesmira::conductor::compare_main(argc, argv); }
