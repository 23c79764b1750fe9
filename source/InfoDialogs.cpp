// The two informational windows of the main window: the version splash of the info
// button and the notice dialog.
#include <QBitmap>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QSplashScreen>

#include "MainWindow.h"

void MainWindow::on_tbActionInfo_triggered() {
    QString text = versionText();
    text = QString("%1\n%2 %3").arg(text, tr("Algorithms Version"), "2.9.2");
    text =
        QString("%1\n%2, %3, %4\n").arg(text, tr("Evaluation version"), "Halvorsk", "Dec 18 2018");

    QPixmap pixmap(":main/image_splash.png");
    pixmap = pixmap.scaledToWidth(static_cast<int>(640 * scale_), Qt::SmoothTransformation);
    auto* splash = new QSplashScreen(pixmap);
    splash->setParent(this, splash->windowFlags());
    splash->setAttribute(Qt::WA_DeleteOnClose);
    const QRect frame = frameGeometry();
    splash->move(frame.x() + (frame.width() - pixmap.width()) / 2,
                 frame.y() + (frame.height() - pixmap.height()) / 2);
    splash->setWindowModality(Qt::WindowModal);
    if (!pixmap.mask().isNull()) splash->setMask(pixmap.mask());
    splash->ensurePolished();
    splash->showMessage(text, Qt::AlignBottom | Qt::AlignHCenter, Qt::white);
    splash->show();
}

void MainWindow::showLicense() {
    QDialog dialog(this, Qt::Dialog);
    dialog.setWindowTitle(QStringLiteral("Stelvane Tessaro UI"));  // a name, not translated
    auto* layout = new QGridLayout(&dialog);
    auto* area = new QScrollArea(&dialog);
    auto* label = new QLabel(noticeText());
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    label->adjustSize();
    area->setWidget(label);
    layout->addWidget(area, 0, 0);
    dialog.setModal(true);
    dialog.exec();
}
