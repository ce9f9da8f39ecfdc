#include "app/ui/settings_window.hpp"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

#include "app/model/proof_model.hpp"
#include "app/ui/setting_integer.hpp"
#include "app/ui/widget_helpers.hpp"
#include "common/settings_schema.hpp"

namespace tesmira::ui {
namespace {

QLineEdit* numberEdit(const QString& name, qint64 value) {
    auto* edit = new QLineEdit(QString::number(value));
    edit->setObjectName(name);
    edit->setFixedWidth(75);
    return edit;
}

QCheckBox* checkBox(const QString& name, const QString& title, bool checked) {
    auto* box = new QCheckBox(title);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

// A label and its control, side by side.
QWidget* settingRow(const QString& label, QWidget* control) {
    QLabel* text = wrappingLabel(label, 13);
    text->setWordWrap(false);
    auto* row = new QWidget;
    makeRow(row, {text, control});
    return row;
}

}  // namespace

SettingsWindow::SettingsWindow(app::ProofModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), alert_([this](const QString& message) {
          QMessageBox box(QMessageBox::Warning, QString(), message, QMessageBox::Ok, this);
          box.exec();
      }) {
    setWindowTitle(QStringLiteral("てすみらの設定"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    const app::ProofSettings& settings = model.settings();

    resolutionCombo_ = new QComboBox;
    resolutionCombo_->setObjectName(QStringLiteral("resolutionCombo"));
    resolutionCombo_->addItems(
        {QStringLiteral("144 dpi"), QStringLiteral("200 dpi"), QStringLiteral("300 dpi（標準）")});
    const auto known = std::find(RESOLUTIONS.begin(), RESOLUTIONS.end(), settings.dpi());
    resolutionCombo_->setCurrentIndex(known == RESOLUTIONS.end() ? int(RESOLUTIONS.size()) - 1
                                                                 : int(known - RESOLUTIONS.begin()));

    toleranceEdit_ = numberEdit(QStringLiteral("toleranceEdit"), settings.tolerance());
    opacityEdit_ = numberEdit(QStringLiteral("opacityEdit"), settings.opacity());
    borderEdit_ = numberEdit(QStringLiteral("borderEdit"), settings.border());
    stampCheck_ =
        checkBox(QStringLiteral("stampCheck"), QStringLiteral("てすみらの刻印（ロゴ）を入れる"), settings.stamp());
    tinyMarkersCheck_ = checkBox(
        QStringLiteral("tinyMarkersCheck"), QStringLiteral("極小差分の補助矩形（試験）"), settings.tinyMarkers());
    noiseCheck_ =
        checkBox(QStringLiteral("noiseCheck"), QStringLiteral("配置画像のノイズ軽減（試験）"), settings.noise());

    auto* saveButton = new QPushButton(QStringLiteral("保存"));
    saveButton->setObjectName(QStringLiteral("saveButton"));
    connect(saveButton, &QPushButton::clicked, this, &SettingsWindow::save);
    auto* defaultsButton = new QPushButton(QStringLiteral("初期設定に戻す"));
    defaultsButton->setObjectName(QStringLiteral("defaultsButton"));
    connect(defaultsButton, &QPushButton::clicked, this, &SettingsWindow::restoreDefaults);
    auto* buttons = new QWidget;
    makeRow(buttons, {saveButton, defaultsButton});

    auto* column = new ColumnWidget;
    makeColumn(
        column,
        {wrappingLabel(QStringLiteral("検版の設定"), 22),
         wrappingLabel(QStringLiteral("変更は次の検版から適用。このPCに保存されます。"), 12),
         settingRow(QStringLiteral("画像化の解像度"), resolutionCombo_),
         settingRow(QStringLiteral("色差の許容値（0〜255）"), toleranceEdit_),
         settingRow(QStringLiteral("背景の濃さ（0〜100％）"), opacityEdit_),
         settingRow(QStringLiteral("赤い輪郭線（1〜6px）"), borderEdit_),
         stampCheck_,
         tinyMarkersCheck_,
         noiseCheck_,
         wrappingLabel(
             QStringLiteral("ノイズ軽減は実修正を見逃す場合があります。ON時は厳密比較PDFも確認してください。"), 11),
         buttons})
        ->addStretch(1);
    placeWithPadding(this, column, 24);
    setFixedSize(QSize(580, 400).expandedTo(sizeHint()));
    centreOnScreen(this);
}

void SettingsWindow::setAlert(std::function<void(const QString&)> alert) { alert_ = std::move(alert); }

void SettingsWindow::save() {
    const auto tolerance = parseSettingInteger(toleranceEdit_->text());
    const auto opacity = parseSettingInteger(opacityEdit_->text());
    const auto border = parseSettingInteger(borderEdit_->text());
    if (!tolerance || !opacity || !border || !TOLERANCE_RANGE.contains(*tolerance) ||
        !OPACITY_RANGE.contains(*opacity) || !BORDER_RANGE.contains(*border)) {
        alert_(QStringLiteral("設定値の範囲を確認してください。"));
        return;
    }
    app::ProofSettings& settings = model_.settings();
    settings.setDpi(
        RESOLUTIONS[std::size_t(std::clamp(resolutionCombo_->currentIndex(), 0, int(RESOLUTIONS.size()) - 1))]);
    settings.setTolerance(*tolerance);
    settings.setOpacity(*opacity);
    settings.setBorder(*border);
    settings.setStamp(stampCheck_->isChecked());
    settings.setTinyMarkers(tinyMarkersCheck_->isChecked());
    settings.setNoise(noiseCheck_->isChecked());
    close();
}

void SettingsWindow::restoreDefaults() {
    model_.settings().reset();
    close();
    emit defaultsRestored();
}

}  // namespace tesmira::ui
