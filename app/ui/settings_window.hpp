#pragma once
// The settings window: the seven comparison settings, checked before anything is stored.
// There is at most one; closing it keeps it, as it was left, for the next time.

#include <QList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace tesmira::app {
class ProofModel;
}

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tesmira::ui {

// A whole decimal integer: an optional sign and digits only, within 64 bits.
std::optional<qint64> parseSettingInteger(const QString& text);

class DezaroziSettings : public QWidget {
    Q_OBJECT

public:
    // Opens the one settings window, creating it when there is none.
    static void show(app::ProofModel& model);
    // The settings window, or none.
    static DezaroziSettings* instance();
    // Destroys the settings window, before the application object goes.
    static void discard();
    // Shows the range alert; replaced by tests, which cannot answer a modal dialog.
    static std::function<void(QWidget* parent, const QString& message)> alert;

    explicit DezaroziSettings(app::ProofModel& model);

    QComboBox* resolution;
    QLineEdit* tolerance;
    QLineEdit* opacity;
    QLineEdit* border;
    QCheckBox* stamp;
    QCheckBox* tinyMarkers;
    QCheckBox* grain;

    void save();
    void resetToDefaults();

private:
    app::ProofModel& model_;
};

}  // namespace tesmira::ui
