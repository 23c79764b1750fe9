#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QColor schemeColor(const QString& style) {
    if (style == "bright") return QColor(197, 197, 197, 255);
    if (style == "dark") return QColor(78, 93, 108, 255);
    return QColor(0, 0, 0, 255);
}

QString chooseSettingsFile(const QString& programDir, const QString& userConfigDir) {
    const QString besideProgram = programDir + "/settings.ini";
    const QFileInfo dir(programDir), file(besideProgram);
    const bool writable = dir.isDir() && dir.isWritable() && (!file.exists() || file.isWritable());
    if (writable) return besideProgram;
    QDir().mkpath(userConfigDir);
    return userConfigDir + "/settings.ini";
}

QString settingsFilePath() {
    return chooseSettingsFile(QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

namespace {
QColor readColor(QSettings& settings, const char* key, const QColor& fallback) {
    const QVariant value = settings.value(key, fallback);
    if (value.canConvert<QColor>()) {
        const QColor c = value.value<QColor>();
        if (c.isValid()) return c;
        const QColor named(value.toString());
        return named;  // invalid when the text names no colour
    }
    return QColor();
}
}  // namespace

SettingsRecord loadSettings(QSettings& settings) {
    SettingsRecord r;
    r.style = settings.value("Style", "dark").toString();
    r.language = settings.value("Language", "English").toString();
    r.loadPath = settings.value("LoadPath", "").toString();
    r.savePath = settings.value("SavePath", "").toString();
    r.loadFilter = settings.value("LoadFilter", "").toString();
    r.saveFilter = settings.value("SaveFilter", "").toString();
    r.saveSnapShot = settings.value("SaveSnapShot", "").toString();
    const QColor scheme = schemeColor(r.style);
    r.colorBottom = readColor(settings, "ColorBottom", scheme);
    r.colorTop = readColor(settings, "ColorTop", scheme);
    r.pointSize = settings.value("PointSize", 1.0f).toFloat();
    r.saveLastSel = settings.value("SaveLastSel", false).toBool();
    r.showAxis = settings.value("ShowAxis", true).toBool();
    r.showConsole = settings.value("ShowConsole", false).toBool();
    r.orthographic = settings.value("Orthographic", true).toBool();
    r.polygonMode = settings.value("PolygonMode", 0).toInt();
    r.windowState = settings.value("mainWindow/state", QByteArray()).toByteArray();
    r.windowGeometry = settings.value("mainWindow/geometry", QByteArray()).toByteArray();
    return r;
}

void saveSettings(QSettings& settings, const SettingsRecord& r) {
    settings.setValue("Style", r.style);
    settings.setValue("Language", r.language);
    settings.setValue("LoadPath", r.loadPath);
    settings.setValue("SavePath", r.savePath);
    settings.setValue("LoadFilter", r.loadFilter);
    settings.setValue("SaveFilter", r.saveFilter);
    settings.setValue("SaveSnapShot", r.saveSnapShot);
    settings.setValue("ColorBottom", r.colorBottom);
    settings.setValue("ColorTop", r.colorTop);
    settings.setValue("PointSize", r.pointSize);
    settings.setValue("SaveLastSel", r.saveLastSel);
    settings.setValue("ShowAxis", r.showAxis);
    settings.setValue("ShowConsole", r.showConsole);
    settings.setValue("Orthographic", r.orthographic);
    settings.setValue("PolygonMode", r.polygonMode);
    settings.setValue("mainWindow/state", r.windowState);
    settings.setValue("mainWindow/geometry", r.windowGeometry);
    settings.sync();
}
