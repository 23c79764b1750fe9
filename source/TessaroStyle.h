// Application style: Qt's "Fusion" under a proxy with the dark and the bright palette, a
// small-icon size that follows the display scale, and grey disabled icons.
#pragma once

#include <QPalette>
#include <QProxyStyle>

class TessaroStyle : public QProxyStyle {
    Q_OBJECT

  public:
    // Scale below 1 means "from the screen's DPI".
    explicit TessaroStyle(double scale = 1.0);

    static void setScale(double scale) { scale_ = scale; }
    static double scale() { return scale_; }
    static void setBright(bool bright) { bright_ = bright; }
    static bool isBright() { return bright_; }

    QPalette standardPalette() const override;
    // The palette of the bright or the dark scheme (standardPalette of the current one).
    static QPalette schemePalette(bool bright);
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    // Check marks and radio dots sit on the light box of both schemes: always dark.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap,
                                const QStyleOption* option) const override;

    // The display scale factor: max(1, ((dpiY + dpiX) / 2, integer division) / 96).
    static double displayScale();

  private:
    static double scale_;
    static bool bright_;
};
