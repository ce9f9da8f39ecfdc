#include "pdf/reader.hpp"

#include <qpdf/QPDFExc.hh>

#include <stdexcept>

namespace tesmira::pdf {

Reader open_reader(const std::filesystem::path& path) {
    Reader reader;
    auto qpdf = std::make_unique<QPDF>();
    qpdf->setSuppressWarnings(true);
    try {
        qpdf->processFile(path.c_str());
    } catch (const QPDFExc& error) {
        if (error.getErrorCode() != qpdf_e_password) throw;
        reader.encrypted = true;
        return reader;
    }
    reader.encrypted = qpdf->isEncrypted();
    if (!reader.encrypted) reader.qpdf = std::move(qpdf);
    return reader;
}

double user_unit(QPDFPageObjectHelper& page) {
    QPDFObjectHandle unit = page.getObjectHandle().getKey("/UserUnit");
    if (unit.isNull()) return 1.0;
    if (!unit.isNumber()) throw std::runtime_error("could not convert /UserUnit to a number: " + unit.unparse());
    return unit.getNumericValue();
}

}  // namespace tesmira::pdf
