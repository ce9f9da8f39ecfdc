#include "engine/page_views_entry.hpp"

int main(int argc, char** argv) { return tesmira::engine::page_views_main(argc, argv); }
