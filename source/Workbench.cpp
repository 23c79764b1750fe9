// The program's start and end; see Workbench.h.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QBitmap>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QSplashScreen>
#include <QSurfaceFormat>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <memory>

#include "MainWindow.h"
#include "TessaroStyle.h"
#include "Workbench.h"
#include "single_application.h"

namespace {

// SIGTERM and SIGINT end the event loop, so that the window is destroyed normally and
// the settings are written (a session ending or a `kill` should not lose them).
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    if (::write(signalPipe[1], &byte, 1) < 0) {
        // nothing to do in a signal handler
    }
}

void installQuitOnSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        char byte;
        if (::read(signalPipe[0], &byte, 1) < 0) {
            // the quit follows anyway
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void setWorkbenchOpenGLFormat() {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

int runWorkbench(int argc, char** argv, const WorkbenchOptions& options) {
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QString::fromUtf8(argv[i]);

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, false);
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);
    QCoreApplication::setAttribute(Qt::AA_SetPalette, true);
    setWorkbenchOpenGLFormat();

    SingleApplication app(argc, argv, options.instanceKey);
    if (app.isRunning()) {
        app.sendMessage(files);
        return 0;
    }
    installQuitOnSignals(app);
    QApplication::setStyle(new TessaroStyle(1.0));

    std::unique_ptr<QSplashScreen> splash;
    std::unique_ptr<MainWindow> window;
    try {
        QPixmap pixmap(":main/image_splash.png");
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const int dpi = (static_cast<int>(screen->logicalDotsPerInchY()) +
                             static_cast<int>(screen->logicalDotsPerInchX())) /
                            2;
            pixmap =
                pixmap.scaledToWidth(static_cast<int>(dpi / 96.0 * 640), Qt::SmoothTransformation);
        }
        splash = std::make_unique<QSplashScreen>(pixmap);
        if (!pixmap.mask().isNull()) splash->setMask(pixmap.mask());
        splash->ensurePolished();
        splash->show();
        QCoreApplication::processEvents();
        QThread::msleep(500);

        window = std::make_unique<MainWindow>(nullptr, options.settingsFile);
        QObject::connect(&app, &SingleApplication::messageAvailable, window.get(),
                         &MainWindow::ReceiveMessageFromOtherInstance);
        window->show();
        if (!files.isEmpty()) {
            window->setPendingFiles(files);
            window->on_actionLoadFile_triggered();
        }
        splash->finish(window.get());
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Stelvane Tessaro UI", QString::fromLocal8Bit(e.what()),
                              QMessageBox::Ok);
        window.reset();
        splash.reset();
        return -1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    if (options.started) {
        MainWindow* shown = window.get();
        QTimer::singleShot(0, shown, [&options, shown] { options.started(*shown); });
    }
    const int code = app.exec();
    window.reset();
    return code;
}
