// The configuration dialog "Properties": background colours of the view, the coordinate
// axes, the language and the colour scheme. It edits the main window's settings record in
// place and tells the window through its signals what to apply.
#pragma once

#include <QDialog>
#include <memory>

#include "Settings.h"

namespace Ui {
class QuiDlgConfig;
}

class CuiDlgConfig : public QDialog {
    Q_OBJECT

  public:
    CuiDlgConfig(SettingsRecord& settings, QWidget* parent);
    ~CuiDlgConfig() override;

    // Sets the widgets from the record without emitting anything (before the dialog shows).
    void updateFromSettings();

    // Style sheet of a colour button showing `color` as its background.
    static QString colorButtonSheet(const QColor& color);

  signals:
    void configChanged();
    void languageChanged(int index);
    void styleChanged();

  private slots:
    void on_comboBoxColors_currentIndexChanged(int index);
    void on_comboBoxLanguage_currentIndexChanged(int index);
    void on_checkBoxAxes_toggled(bool checked);
    void on_btnColorTop_clicked();
    void on_btnColorBottom_clicked();

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void showColors();
    void pickColor(QColor& target);

    std::unique_ptr<Ui::QuiDlgConfig> ui_;
    SettingsRecord& settings_;
    bool updating_ = false;
};
