#pragma once
// The seven comparison settings, kept in the user's configuration folder so that they
// survive from one launch to the next.

#include <QObject>
#include <QString>

#include "common/json.hpp"
#include "common/settings_schema.hpp"

namespace tesmira::app {

class ProofSettings : public QObject {
    Q_OBJECT

public:
    // Loads the stored record (see settingsFile()); what is missing or malformed takes its
    // default, key by key. Nothing is written until a setting is assigned.
    explicit ProofSettings(QObject* parent = nullptr);

    qint64 dpi() const { return dpi_; }
    qint64 tolerance() const { return tolerance_; }
    qint64 opacity() const { return opacity_; }
    qint64 border() const { return border_; }
    bool stamp() const { return stamp_; }
    bool tinyMarkers() const { return tinyMarkers_; }
    bool noise() const { return noise_; }  // the noise pass, stored under the key "grain"

    // Every setter announces the change, stores the value and writes the whole record, also
    // when the value is the one it already had.
    void setDpi(qint64 value);
    void setTolerance(qint64 value);
    void setOpacity(qint64 value);
    void setBorder(qint64 value);
    void setStamp(bool value);
    void setTinyMarkers(bool value);
    void setNoise(bool value);

    // The record of the current values: "dpi", "tolerance", "opacity", "border" as integers,
    // "stamp", "tiny_markers", "grain" as booleans.
    Json dictionary() const;

    // Assigns the seven defaults through the setters, in the order of the record.
    void reset();

    // "$XDG_CONFIG_HOME/tesmira/settings.json", holding the record under "proof.settings.v1".
    static QString settingsFile();

signals:
    void willChange();

private:
    template <typename T>
    void assign(T& field, T value);
    void save() const;

    qint64 dpi_ = DEFAULT_SETTINGS.dpi;
    qint64 tolerance_ = DEFAULT_SETTINGS.tolerance;
    qint64 opacity_ = DEFAULT_SETTINGS.opacity;
    qint64 border_ = DEFAULT_SETTINGS.border;
    bool stamp_ = DEFAULT_SETTINGS.stamp;
    bool tinyMarkers_ = DEFAULT_SETTINGS.tiny_markers;
    bool noise_ = DEFAULT_SETTINGS.noise;
};

}  // namespace tesmira::app
