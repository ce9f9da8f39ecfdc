#include "model_test_support.hpp"

#include <QDir>
#include <QFileInfo>

#include "fixtures/hostile_pdfs.hpp"
#include "fixtures/pdf_builder.hpp"

namespace tesmira::app::testing {

void writeSamplePdf(const QString& path, int pages, int variant, double width, double height) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    fixtures::Page page;
    page.media = {0, 0, width, height};
    const double x = width / 4 + 5 * variant;
    page.content = fixtures::fill_rect({x, height / 4, x + 10, height / 4 + 10}, 0, 0, 0);
    fixtures::write_pdf(fixtures::many_pages(pages, page), path.toStdString());
}

void writeSampleThenEndlessPdf(const QString& path, int plain, int endless, int variant, double width, double height) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    fixtures::write_pdf(fixtures::squares_then_endless(plain, endless, variant, width, height), path.toStdString());
}

}  // namespace tesmira::app::testing
