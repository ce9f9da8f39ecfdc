// Writes one of the hostile test PDFs: make_hostile_pdf fan-out|jpeg2000|jbig2 OUT.pdf
#include <cstdio>
#include <string>

#include "fixtures/hostile_pdfs.hpp"

int main(int argc, char** argv) {
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind == "fan-out")
        tesmira::fixtures::write_fan_out_pdf(argv[2], 40);
    else if (kind == "jpeg2000")
        tesmira::fixtures::write_jpeg2000_bomb_pdf(argv[2]);
    else if (kind == "jbig2")
        tesmira::fixtures::write_jbig2_bomb_pdf(argv[2]);
    else {
        std::fprintf(stderr, "usage: %s fan-out|jpeg2000|jbig2 OUT.pdf\n", argv[0]);
        return 2;
    }
    return 0;
}
