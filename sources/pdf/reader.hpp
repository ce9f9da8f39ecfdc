#pragma once
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <filesystem>
#include <memory>

namespace tesmira::pdf {

struct Reader {
    std::unique_ptr<QPDF> qpdf;  // empty when the file is encrypted
    bool encrypted = false;      // any encryption at all, also one that opens without a password
};

// Opens a PDF for the checks before rendering. A file that does not open without a
// password counts as encrypted; every other failure is qpdf's own.
Reader open_reader(const std::filesystem::path& path);

// The page's /UserUnit, 1 when absent; a value that is no number is an error.
double user_unit(QPDFPageObjectHelper& page);

}  // namespace tesmira::pdf
