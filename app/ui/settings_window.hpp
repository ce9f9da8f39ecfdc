#pragma once
// The settings window: the seven comparison settings, checked before anything is stored.
// Its owner keeps it when it is closed, so that it comes back as it was left.

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    // Shows the current settings of `model`; the controls are not refreshed afterwards.
    explicit SettingsWindow(app::ProofModel& model, QWidget* parent = nullptr);

    // Replaces the alert about values out of range, a message box by default (tests, which
    // cannot answer a modal dialog, give their own).
    void setAlert(std::function<void(const QString& message)> alert);

signals:
    // "初期設定に戻す" has stored the defaults and closed this window; its owner shows a
    // fresh one in its place.
    void defaultsRestored();

private:
    void save();
    void restoreDefaults();

    app::ProofModel& model_;
    std::function<void(const QString&)> alert_;
    QComboBox* resolutionCombo_;
    QLineEdit* toleranceEdit_;
    QLineEdit* opacityEdit_;
    QLineEdit* borderEdit_;
    QCheckBox* stampCheck_;
    QCheckBox* tinyMarkersCheck_;
    QCheckBox* noiseCheck_;
};

}  // namespace tesmira::ui
