#include "UiHooks.h"

#include <QFileDialog>

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

bool question(QWidget* parent, const QString& title, const QString& text) {
    if (hooks().question) return hooks().question(title, text);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QStringList getOpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter, QString* selectedFilter) {
    if (hooks().openFileNames) return hooks().openFileNames(title, filter);
    return QFileDialog::getOpenFileNames(parent, title, dir, filter, selectedFilter);
}

QString getSaveFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& filter, QString* selectedFilter) {
    if (hooks().saveFileName) return hooks().saveFileName(title, filter);
    return QFileDialog::getSaveFileName(parent, title, dir, filter, selectedFilter);
}

void progressCreated(QProgressDialog* dialog) {
    if (hooks().progressCreated) hooks().progressCreated(dialog);
}

void progressPolled(QProgressDialog* dialog) {
    if (hooks().progressPolled) hooks().progressPolled(dialog);
}

}  // namespace ui
