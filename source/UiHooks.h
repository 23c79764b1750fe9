// The one place where the shell shows message boxes, questions, file dialogs and progress
// dialogs. A user sees the ordinary Qt dialogs; tests install hooks that observe the
// messages and answer the questions and file dialogs instead, so that commands can run
// without anybody clicking.
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QProgressDialog;
class QWidget;

namespace ui {

struct Hooks {
    // Called instead of showing a message box.
    std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)> message;
    // Called instead of asking an OK/Cancel question; returns true for OK.
    std::function<bool(const QString& title, const QString& text)> question;
    // Called instead of the open and save file dialogs with the folder (or proposed file)
    // the dialog would start in; an empty result is a cancel.
    std::function<QStringList(const QString& title, const QString& dir, const QString& filter)>
        openFileNames;
    std::function<QString(const QString& title, const QString& dir, const QString& filter)>
        saveFileName;
    // Called when a progress dialog has been created (for example to press "Abort").
    std::function<void(QProgressDialog* dialog)> progressCreated;
    // Called each time a running job polls its progress dialog, before "Abort" is read.
    std::function<void(QProgressDialog* dialog)> progressPolled;
    // Called instead of the colour dialog; an invalid colour is a cancel.
    std::function<QColor(const QString& title, const QColor& initial)> color;
};

// The installed hooks; empty members mean the ordinary dialogs.
Hooks& hooks();

// A message box with one OK button.
void message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);
inline void critical(QWidget* parent, const QString& title, const QString& text) {
    message(parent, QMessageBox::Critical, title, text);
}
inline void warning(QWidget* parent, const QString& title, const QString& text) {
    message(parent, QMessageBox::Warning, title, text);
}
// A question with OK and Cancel, Cancel the default unless `okDefault`. True for OK.
bool question(QWidget* parent, const QString& title, const QString& text, bool okDefault = false);
// Qt's own colour dialog with the alpha channel; an invalid colour when cancelled.
QColor getColor(QWidget* parent, const QString& title, const QColor& initial);

// Qt's own file dialogs (the same on every desktop), starting in `dir` (a folder, or a
// file to propose) with the filter `selectedFilter` names chosen; it receives the filter
// the user chose. The filters' patterns match file names in any case.
QStringList getOpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter, QString* selectedFilter);
QString getSaveFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& filter, QString* selectedFilter);
void progressCreated(QProgressDialog* dialog);
void progressPolled(QProgressDialog* dialog);

}  // namespace ui
