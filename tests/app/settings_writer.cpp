// Assigns the dpi setting given as its argument, as the settings window would; the settings
// tests kill it in the middle of the save.
#include <QCoreApplication>

#include "app/model/proof_settings.hpp"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) return 2;
    tesmira::app::ProofSettings().setDpi(std::atoll(argv[1]));
    return 0;
}
