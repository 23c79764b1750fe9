#include "CuiDlgConfig.h"

#include <QEvent>
#include <QPalette>
#include <QSignalBlocker>

#include "UiHooks.h"
#include "ui_QuiDlgConfig.h"

namespace {
// Combo box rows: the language box lists German first, the scheme box bright first.
constexpr int kGerman = 0, kEnglish = 1;
constexpr int kBright = 0, kDark = 1;
}  // namespace

CuiDlgConfig::CuiDlgConfig(SettingsRecord& settings, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::QuiDlgConfig>()), settings_(settings) {
    ui_->setupUi(this);
    setObjectName("CuiDlgConfig");
    setProperty("i18n.self", true);  // retranslateUi, not the window's walk
    // The check mark is drawn in the text colour on the box's light base: keep it dark in
    // both schemes (the label keeps the window's text colour).
    QPalette axes = ui_->checkBoxAxes->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        axes.setColor(g, QPalette::Text, QColor(20, 20, 20));
    ui_->checkBoxAxes->setPalette(axes);
    updateFromSettings();
}

CuiDlgConfig::~CuiDlgConfig() = default;

QString CuiDlgConfig::colorButtonSheet(const QColor& color) {
    return QString(
               "QToolButton{background-color: %1; border: 0.25ex solid transparent;} "
               "QToolButton:hover{border-color: white;}")
        .arg(color.name());
}

void CuiDlgConfig::updateFromSettings() {
    updating_ = true;
    ui_->comboBoxLanguage->setCurrentIndex(settings_.language == "Deutsch" ? kGerman : kEnglish);
    ui_->comboBoxColors->setCurrentIndex(settings_.style == "bright" ? kBright : kDark);
    ui_->checkBoxAxes->setChecked(settings_.showAxis);
    showColors();
    updating_ = false;
}

void CuiDlgConfig::showColors() {
    ui_->btnColorTop->setStyleSheet(colorButtonSheet(settings_.colorTop));
    ui_->btnColorBottom->setStyleSheet(colorButtonSheet(settings_.colorBottom));
}

void CuiDlgConfig::on_comboBoxColors_currentIndexChanged(int index) {
    if (updating_ || index < 0) return;
    settings_.style = index == kDark ? "dark" : "bright";
    settings_.colorTop = settings_.colorBottom = schemeColor(settings_.style);
    showColors();
    emit styleChanged();
    emit configChanged();
}

void CuiDlgConfig::on_comboBoxLanguage_currentIndexChanged(int index) {
    if (updating_ || index < 0) return;
    settings_.language = index == kEnglish ? "English" : "Deutsch";
    emit languageChanged(index);
}

void CuiDlgConfig::on_checkBoxAxes_toggled(bool checked) {
    if (updating_) return;
    settings_.showAxis = checked;
    emit configChanged();
}

void CuiDlgConfig::pickColor(QColor& target) {
    const QColor chosen = ui::getColor(parentWidget(), tr("Select color"), target);
    if (!chosen.isValid()) return;  // cancelled: the old colour stays
    target = chosen;
    showColors();
    emit configChanged();
}

void CuiDlgConfig::on_btnColorTop_clicked() {
    pickColor(settings_.colorTop);
}

void CuiDlgConfig::on_btnColorBottom_clicked() {
    pickColor(settings_.colorBottom);
}

void CuiDlgConfig::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        // retranslateUi renames the combo boxes' rows; their current rows stay.
        const QSignalBlocker blockLanguage(ui_->comboBoxLanguage);
        const QSignalBlocker blockColors(ui_->comboBoxColors);
        ui_->retranslateUi(this);
    }
    QDialog::changeEvent(event);
}

void CuiDlgConfig::showEvent(QShowEvent* event) {
    updateFromSettings();
    QDialog::showEvent(event);
}
