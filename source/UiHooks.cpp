#include "UiHooks.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QRegularExpression>

namespace ui {

Hooks& hooks() {
    static Hooks installed;
    return installed;
}

void message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    if (hooks().message) {
        hooks().message(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool question(QWidget* parent, const QString& title, const QString& text, bool okDefault) {
    if (hooks().question) return hooks().question(title, text);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(okDefault ? QMessageBox::Ok : QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QColor getColor(QWidget* parent, const QString& title, const QColor& initial) {
    if (hooks().color) return hooks().color(title, initial);
    return QColorDialog::getColor(
        initial, parent, title, QColorDialog::ShowAlphaChannel | QColorDialog::DontUseNativeDialog);
}

namespace {

// Runs the dialog and hands back the chosen files (none on a cancel) and filter.
QStringList runFileDialog(QFileDialog& dialog, QString* selectedFilter) {
    // Qt's own dialog rather than the desktop's: it looks and behaves the same everywhere,
    // and its file list compares the patterns without regard to case as long as
    // QDir::CaseSensitive stays out of its filter, so "*.xyz" lists SCAN.XYZ too.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (selectedFilter && !selectedFilter->isEmpty()) dialog.selectNameFilter(*selectedFilter);
    if (dialog.acceptMode() == QFileDialog::AcceptSave) {
        // A name typed without a suffix gets the one of the chosen file type, as users
        // expect ("part" saved as "Pointcloud (*.xyz)" is part.xyz).
        auto suffixOf = [](const QString& nameFilter) {
            const QRegularExpressionMatch m = QRegularExpression("\\*\\.(\\w+)").match(nameFilter);
            return m.hasMatch() ? m.captured(1) : QString();
        };
        dialog.setDefaultSuffix(suffixOf(dialog.selectedNameFilter()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, suffixOf](const QString& chosen) {
                             dialog.setDefaultSuffix(suffixOf(chosen));
                         });
    }
    if (dialog.exec() != QDialog::Accepted) return QStringList();
    if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles();
}

}  // namespace

QStringList getOpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter, QString* selectedFilter) {
    if (hooks().openFileNames) return hooks().openFileNames(title, dir, filter);
    QFileDialog dialog(parent, title, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return runFileDialog(dialog, selectedFilter);
}

QString getSaveFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& filter, QString* selectedFilter) {
    if (hooks().saveFileName) return hooks().saveFileName(title, dir, filter);
    QFileDialog dialog(parent, title, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList chosen = runFileDialog(dialog, selectedFilter);
    return chosen.isEmpty() ? QString() : chosen.first();
}

void progressCreated(QProgressDialog* dialog) {
    if (hooks().progressCreated) hooks().progressCreated(dialog);
}

void progressPolled(QProgressDialog* dialog) {
    if (hooks().progressPolled) hooks().progressPolled(dialog);
}

}  // namespace ui
