#include "app/ui/settings_window.hpp"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

#include <limits>

#include "app/model/proof_model.hpp"
#include "app/ui/control_kit.hpp"

namespace tesmira::ui {
namespace {

constexpr qint64 RESOLUTIONS[] = {144, 200, 300};

std::unique_ptr<DezaroziSettings>& theInstance() {
    static std::unique_ptr<DezaroziSettings> window;
    return window;
}

QLineEdit* numberField(qint64 value) {
    auto* field = new QLineEdit(QString::number(value));
    field->setFixedWidth(75);
    return field;
}

}  // namespace

std::function<void(QWidget*, const QString&)> DezaroziSettings::alert = [](QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Warning, QString(), message, QMessageBox::Ok, parent);
    box.exec();
};

std::optional<qint64> parseSettingInteger(const QString& text) {
    qsizetype at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-'))) negative = text[at++] == QLatin1Char('-');
    if (at == text.size()) return std::nullopt;
    // Accumulated as a negative number, whose range includes the smallest 64-bit value.
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<qint64>::min()) return std::nullopt;
        value = -value;
    }
    return value;
}

DezaroziSettings* DezaroziSettings::instance() { return theInstance().get(); }

void DezaroziSettings::discard() { theInstance().reset(); }

void DezaroziSettings::show(app::ProofModel& model) {
    auto& window = theInstance();
    if (!window) window = std::make_unique<DezaroziSettings>(model);
    window->QWidget::show();
    window->raise();
    window->activateWindow();
}

DezaroziSettings::DezaroziSettings(app::ProofModel& model) : QWidget(nullptr, Qt::Window), model_(model) {
    setWindowTitle(QStringLiteral("てすみらの設定"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    const app::ProofSettings& settings = model.settings();

    resolution = new QComboBox;
    resolution->addItems({QStringLiteral("144 dpi"), QStringLiteral("200 dpi"), QStringLiteral("300 dpi（標準）")});
    const auto known = std::find(std::begin(RESOLUTIONS), std::end(RESOLUTIONS), settings.dpi());
    resolution->setCurrentIndex(known == std::end(RESOLUTIONS) ? 2 : int(known - std::begin(RESOLUTIONS)));

    tolerance = numberField(settings.tolerance());
    opacity = numberField(settings.opacity());
    border = numberField(settings.border());
    stamp = new QCheckBox(QStringLiteral("てすみらの刻印（ロゴ）を入れる"));
    tinyMarkers = new QCheckBox(QStringLiteral("極小差分の補助矩形（試験）"));
    grain = new QCheckBox(QStringLiteral("配置画像のノイズ軽減（試験）"));
    stamp->setChecked(settings.stamp());
    tinyMarkers->setChecked(settings.tinyMarkers());
    grain->setChecked(settings.grain());

    QPointer<DezaroziSettings> self(this);
    auto* saveButton = new LegacyButton(QStringLiteral("保存"), [self] {
        if (self) self->save();
    });
    auto* resetButton = new LegacyButton(QStringLiteral("初期設定に戻す"), [self] {
        if (self) self->resetToDefaults();
    });
    const auto row = [](const QString& label, QWidget* control) {
        QLabel* text = legacyLabel(label, 13);
        text->setWordWrap(false);
        return legacyStack({text, control}, true);
    };
    QWidget* column = legacyStack({legacyLabel(QStringLiteral("検版の設定"), 22),
                                   legacyLabel(QStringLiteral("変更は次の検版から適用。このPCに保存されます。"), 12),
                                   row(QStringLiteral("画像化の解像度"), resolution),
                                   row(QStringLiteral("色差の許容値（0〜255）"), tolerance),
                                   row(QStringLiteral("背景の濃さ（0〜100％）"), opacity),
                                   row(QStringLiteral("赤い輪郭線（1〜6px）"), border),
                                   stamp,
                                   tinyMarkers,
                                   grain,
                                   legacyLabel(QStringLiteral("ノイズ軽減は実修正を見逃す場合があります。ON時は厳密比較PDFも確認してください。"), 11),
                                   legacyStack({saveButton, resetButton}, true)});
    static_cast<QBoxLayout*>(column->layout())->addStretch(1);
    legacyMount(column, this, 24);
    setFixedSize(QSize(580, 400).expandedTo(sizeHint()));
    centreOnScreen(this);
}

void DezaroziSettings::save() {
    const auto toleranceValue = parseSettingInteger(tolerance->text());
    const auto opacityValue = parseSettingInteger(opacity->text());
    const auto borderValue = parseSettingInteger(border->text());
    const bool accepted = toleranceValue && opacityValue && borderValue && *toleranceValue >= 0 && *toleranceValue <= 255 &&
                          *opacityValue >= 0 && *opacityValue <= 100 && *borderValue >= 1 && *borderValue <= 6;
    if (!accepted) {
        alert(this, QStringLiteral("設定値の範囲を確認してください。"));
        return;
    }
    app::ProofSettings& settings = model_.settings();
    settings.setDpi(RESOLUTIONS[std::clamp(resolution->currentIndex(), 0, 2)]);
    settings.setTolerance(*toleranceValue);
    settings.setOpacity(*opacityValue);
    settings.setBorder(*borderValue);
    settings.setStamp(stamp->isChecked());
    settings.setTinyMarkers(tinyMarkers->isChecked());
    settings.setGrain(grain->isChecked());
    close();
}

void DezaroziSettings::resetToDefaults() {
    app::ProofModel& model = model_;
    model.settings().reset();
    close();
    // A fresh window with the defaults takes this one's place; this one goes once control
    // has left its button.
    theInstance().release()->deleteLater();
    show(model);
}

}  // namespace tesmira::ui
