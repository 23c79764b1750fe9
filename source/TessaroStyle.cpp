#include "TessaroStyle.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOption>
#include <algorithm>

double TessaroStyle::scale_ = 1.0;
bool TessaroStyle::bright_ = false;

double TessaroStyle::displayScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1.0;
    const int dpi = (static_cast<int>(screen->logicalDotsPerInchY()) +
                     static_cast<int>(screen->logicalDotsPerInchX())) /
                    2;
    return std::max(1.0, dpi / 96.0);
}

TessaroStyle::TessaroStyle(double scale) : QProxyStyle(QStyleFactory::create("Fusion")) {
    scale_ = scale >= 1.0 ? scale : displayScale();
}

QPalette TessaroStyle::standardPalette() const {
    return schemePalette(bright_);
}

QPalette TessaroStyle::schemePalette(bool bright) {
    QPalette p;
    if (bright) {
        p.setColor(QPalette::Window, QColor(218, 218, 218));
        p.setColor(QPalette::WindowText, QColor(20, 20, 20));
        p.setColor(QPalette::Text, QColor(20, 20, 20));
        p.setColor(QPalette::Light, QColor(230, 230, 230, 180));
        p.setColor(QPalette::Mid, QColor(163, 178, 185));
        p.setColor(QPalette::Dark, QColor(3, 169, 244));
        p.setColor(QPalette::Highlight, QColor(51, 153, 255));
    } else {
        p.setColor(QPalette::Window, QColor(43, 62, 80));
        p.setColor(QPalette::WindowText, QColor(230, 230, 230));
        p.setColor(QPalette::Text, QColor(230, 230, 230));
        p.setColor(QPalette::Light, QColor(202, 202, 202, 96));
        p.setColor(QPalette::Mid, QColor(53, 89, 128));
        p.setColor(QPalette::Dark, QColor(29, 45, 68));
        p.setColor(QPalette::Highlight, QColor(6, 78, 135));
    }
    p.setColor(QPalette::Button, QColor(192, 192, 192));
    p.setColor(QPalette::ButtonText, QColor(20, 20, 20));
    p.setColor(QPalette::Base, QColor(192, 192, 192));
    p.setColor(QPalette::Midlight, QColor(230, 230, 230));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Shadow, Qt::cyan);
    p.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, Qt::yellow);
    const QColor disabled(127, 127, 127);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Text, disabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
    return p;
}

int TessaroStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                              const QWidget* widget) const {
    if (metric == PM_SmallIconSize) return static_cast<int>(scale_ * 32);
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void TessaroStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    if ((element == PE_IndicatorCheckBox || element == PE_IndicatorRadioButton) && option) {
        QStyleOption dark(*option);
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
            QStyleOptionButton copy(*button);
            copy.palette.setColor(QPalette::Text, QColor(20, 20, 20));
            QProxyStyle::drawPrimitive(element, &copy, painter, widget);
            return;
        }
        dark.palette.setColor(QPalette::Text, QColor(20, 20, 20));
        QProxyStyle::drawPrimitive(element, &dark, painter, widget);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QPixmap TessaroStyle::generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap,
                                          const QStyleOption* option) const {
    if (mode != QIcon::Disabled) return QProxyStyle::generatedIconPixmap(mode, pixmap, option);
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QColor grey(Qt::gray);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgba(grey.red(), grey.green(), grey.blue(), qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(image);
}
