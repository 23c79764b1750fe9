// The user settings: one INI file, read when the main window is built and written when
// it is destroyed. The file lives beside the program; when that folder cannot be written
// (an installed program), it lives in the per-user configuration folder instead, so the
// settings are never silently lost.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

class QSettings;

struct SettingsRecord {
    QString style = "dark";
    QString language = "English";
    QString loadPath, savePath, loadFilter, saveFilter, saveSnapShot;
    QColor colorBottom, colorTop;
    float pointSize = 1.0f;
    bool saveLastSel = false;
    bool showAxis = true;
    bool showConsole = false;
    bool orthographic = true;
    int polygonMode = 0;
    QByteArray windowState, windowGeometry;
};

// Background colour of a scheme: "bright" (197, 197, 197), "dark" (78, 93, 108), else black.
QColor schemeColor(const QString& style);

// Where the settings file is: beside the program when that folder (and an existing file)
// can be written, else in the per-user configuration folder.
QString settingsFilePath();
// The same decision for a given program folder and per-user folder (testable).
QString chooseSettingsFile(const QString& programDir, const QString& userConfigDir);

SettingsRecord loadSettings(QSettings& settings);
void saveSettings(QSettings& settings, const SettingsRecord& record);
