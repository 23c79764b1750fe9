#include "MainWindow.h"

#include <omp.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <exception>

#include "ComputationRunner.h"
#include "CuiDlgConfig.h"
#include "ObjectManager.h"
#include "OpenGL/glView/GLView.h"
#include "Retranslator.h"
#include "SceneData.h"
#include "TessaroStyle.h"
#include "UiHooks.h"
#include "alg3D/matrix/ColorScale.h"
#include "panels/Slider.h"
#include "panels/SubToolBar.h"
#include "panels/ToolWidget.h"
#include "ui_MainWindow.h"

MainWindow::MainWindow(QWidget* parent, const QString& settingsFile)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()) {
    QCoreApplication::setOrganizationName("Halvorsk");
    QCoreApplication::setApplicationName("Stelvane Tessaro UI");
    QCoreApplication::setApplicationVersion("3.3");
    try {
        const QString path = settingsFile.isEmpty() ? settingsFilePath() : settingsFile;
        qsettings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
        settings_ = loadSettings(*qsettings_);

        ui_->setupUi(this);
        processors_ = omp_get_num_procs();
        omp_set_num_threads(processors_);

        scale_ = TessaroStyle::displayScale();
        TessaroStyle::setScale(scale_);  // the style's icon metric follows the display
        applyMinimumSize();

        view_ = new GLView(this);
        view_->setAcceptDrops(true);
        setAcceptDrops(true);
        connect(view_, &GLView::selectionFinished, this, &MainWindow::onSelectionFinished);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            connect(screen, &QScreen::geometryChanged, this, [this] { adaptToScreenSize(0); });
            connect(screen, &QScreen::availableGeometryChanged, this,
                    [this] { adaptToWorkAreaSize(0); });
        }
        buildToolBars();

        config_ = new CuiDlgConfig(settings_, this);
        connect(config_, &CuiDlgConfig::configChanged, this, &MainWindow::onConfigChanged);
        connect(config_, &CuiDlgConfig::styleChanged, this, &MainWindow::applyCustomStyleSheet);
        connect(config_, &CuiDlgConfig::languageChanged, this, &MainWindow::onLanguageChanged);

        view_->setBackground(settings_.colorTop, settings_.colorBottom);
        view_->scene().setShowAxes(settings_.showAxis);
        view_->scene().setPointSize(settings_.pointSize);
        if (!settings_.orthographic) actionPerspective_->trigger();
        if (settings_.polygonMode == 1 || settings_.polygonMode == 2) {
            findChild<QAction*>(settings_.polygonMode == 1 ? "actionEdgeOverlay" : "actionEdgeOnly")
                ->trigger();
        }
        pointSizeSlider_->setValue(static_cast<int>(settings_.pointSize + 0.5f));
        applyCustomStyleSheet();
        setGerman(settings_.language == "Deutsch");

        if (!settings_.windowGeometry.isEmpty()) restoreGeometry(settings_.windowGeometry);
        if (!settings_.windowState.isEmpty()) restoreState(settings_.windowState);
        // No stored state may take the menu away: the main bar is always shown.
        ui_->toolBarMain->setVisible(true);
    } catch (const std::exception& e) {
        ui::critical(this, tr("Application Requirements"),
                     commandText(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        ui::critical(this, tr("Application Requirements"), tr("unknown exception"));
    }
    setWindowTitle(QCoreApplication::organizationName() + " - " +
                   QCoreApplication::applicationName() + " " +
                   QCoreApplication::applicationVersion());
}

MainWindow::~MainWindow() {
    if (!qsettings_) return;
    if (pointSizeSlider_) settings_.pointSize = static_cast<float>(pointSizeSlider_->value());
    settings_.windowState = saveState();
    settings_.windowGeometry = saveGeometry();
    saveSettings(*qsettings_, settings_);
}

void MainWindow::buildToolBars() {
    auto* barBox = new QWidget(ui_->centralwidget);
    auto* barLayout = new QVBoxLayout(barBox);
    barLayout->setContentsMargins(0, 0, 0, 0);
    barLayout->setSpacing(0);
    ui_->gridLayout->addWidget(barBox, 0, 0, 1, 2);
    ui_->gridLayout->addWidget(view_, 1, 0);
    ui_->gridLayout->setRowStretch(1, 1);
    ui_->gridLayout->setColumnStretch(0, 1);

    // Menu button.
    auto* menu = new QMenu(this);
    menu->addAction(ui_->actionNew);
    menu->addAction(ui_->actionLoadFile);
    menu->addAction(ui_->actionSaveFile);
    menu->addSeparator();
    menu->addAction(ui_->actionConfig);
    menu->addSeparator();
    menu->addAction(ui_->actionQuit);
    ui_->tbActionMenu->setMenu(menu);
    if (auto* button =
            qobject_cast<QToolButton*>(ui_->toolBarMain->widgetForAction(ui_->tbActionMenu))) {
        button->setPopupMode(QToolButton::InstantPopup);
    }

    auto makeBar = [&](const QString& name, const QString& title) {
        auto* bar = new SubToolBar(title, barBox);
        bar->setObjectName(name);
        bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        barLayout->addWidget(bar);
        // A bar shown or hidden changes the stack's height: the window lays out anew. (The
        // bar buttons toggle one bar on and another off at once; without this the window
        // could keep the stack at the height of two bars, the second row empty.)
        connect(bar, &QToolBar::visibilityChanged, barBox, [barBox] { barBox->updateGeometry(); });
        return bar;
    };
    QToolBar* algorithmBar = makeBar("algorithmBar", tr("Algorithms"));
    algorithmBar_ = algorithmBar;
    // The five panel toggles show at most one panel; each is enabled when its panel is
    // registered (registerAlgorithmPanel). Convex Hull runs at once.
    panelGroup_ = new QActionGroup(this);
    panelGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const auto& entry :
         {std::make_pair(QT_TR_NOOP("Registration"), ":main/icon_registration.png"),
          std::make_pair(QT_TR_NOOP("Distances"), ":main/icon_distances.png"),
          std::make_pair(QT_TR_NOOP("Geometry Fit"), ":main/icon_bestfit.png"),
          std::make_pair(QT_TR_NOOP("Preprocess"), ":main/icon_edit.png"),
          std::make_pair(QT_TR_NOOP("Surface Features"), ":main/icon_surface_features.png"),
          std::make_pair(QT_TR_NOOP("Convex Hull"), ":main/icon_convexhull.png")}) {
        QAction* a = algorithmBar->addAction(QIcon(entry.second), tr(entry.first));
        a->setObjectName(QString("action%1").arg(QString(entry.first).remove(' ')));
        a->setEnabled(false);  // until its panel or command is there
        if (QString(entry.first) != QLatin1String("Convex Hull")) {
            a->setCheckable(true);
            panelGroup_->addAction(a);
        }
    }
    connect(algorithmBar, &QToolBar::visibilityChanged, this,
            &MainWindow::toolBarVisibilityChanged);
    editBar_ = makeBar("editBar", tr("Edit"));
    actionMeasure_ = editBar_->addAction(QIcon(":main/icon_ruler.png"), tr("Measure"));
    actionMeasure_->setToolTip(tr("Measure distances<hr> Click on two positions in the scene."));
    actionMeasure_->setCheckable(true);
    connect(actionMeasure_, &QAction::toggled, view_, &GLView::setRulerEnabled);
    buildPanels();
    buildEditTools();
    buildHullCommand();

    viewBar_ = makeBar("viewBar", tr("View"));
    actionPerspective_ = viewBar_->addAction(QIcon(":views/icon_view_proj.png"), tr("Perspective"));
    actionPerspective_->setCheckable(true);
    connect(actionPerspective_, &QAction::toggled, this, &MainWindow::viewPerspective);
    connect(viewBar_->addAction(QIcon(":views/icon_view_reset.png"), tr("Fit to Window")),
            &QAction::triggered, this, [this] { view_->fit2view(GLCamera::kRecenterResetZoom); });
    connect(viewBar_->addAction(QIcon(":views/icon_camera.png"), tr("Screenshot")),
            &QAction::triggered, this, &MainWindow::actionScreenshot_triggered);
    viewBar_->addSeparator();
    const std::pair<const char*, const char*> directions[] = {
        {QT_TR_NOOP("Front"), ":views/icon_view_front.png"},
        {QT_TR_NOOP("Back"), ":views/icon_view_back.png"},
        {QT_TR_NOOP("Left"), ":views/icon_view_left.png"},
        {QT_TR_NOOP("Right"), ":views/icon_view_right.png"},
        {QT_TR_NOOP("Top"), ":views/icon_view_top.png"},
        {QT_TR_NOOP("Bottom"), ":views/icon_view_bottom.png"}};
    int dir = GLCamera::kFront;
    for (const auto& d : directions) {
        const auto viewDir = static_cast<GLCamera::enViewDir>(dir++);
        QAction* a = viewBar_->addAction(QIcon(d.second), tr(d.first));
        connect(a, &QAction::triggered, this, [this, viewDir] { view_->fit2view(viewDir); });
        // The six standard views show their icon only (the name is the tool tip): with
        // their texts the bar would not fit the window's smallest width.
        if (auto* button = qobject_cast<QToolButton*>(viewBar_->widgetForAction(a))) {
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        }
    }
    viewBar_->addSeparator();
    auto* sizeLabel = new QLabel(tr("Point size"), viewBar_);
    sizeLabel->setMargin(static_cast<int>(10 * scale_));
    viewBar_->addWidget(sizeLabel);
    auto* sizeNumber = new QLabel("1", viewBar_);
    sizeNumber->setFixedWidth(static_cast<int>(35 * scale_));
    viewBar_->addWidget(sizeNumber);
    pointSizeSlider_ = new Slider(Qt::Horizontal, viewBar_);
    pointSizeSlider_->setRange(1, 15);
    pointSizeSlider_->setTickInterval(1);
    pointSizeSlider_->setSingleStep(1);
    pointSizeSlider_->setPageStep(1);
    pointSizeSlider_->setTracking(true);
    pointSizeSlider_->setFixedWidth(static_cast<int>(130 * scale_));
    viewBar_->addWidget(pointSizeSlider_);
    connect(pointSizeSlider_, &QSlider::valueChanged, view_, &GLView::setPointSize);
    connect(pointSizeSlider_, &QSlider::valueChanged, sizeNumber,
            static_cast<void (QLabel::*)(int)>(&QLabel::setNum));
    connect(view_, &GLView::pointSizeChanged, pointSizeSlider_,
            static_cast<void (Slider::*)(float)>(&Slider::setValue));
    // Edge display of meshes: overlay or edges only, at most one of them; neither is the
    // plain surface.
    auto* edgeGroup = new QActionGroup(viewBar_);
    edgeGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    QAction* edgeOverlay =
        viewBar_->addAction(QIcon(":views/polygon_edgeoverlay.png"), tr("Edge overlay"));
    edgeOverlay->setToolTip(tr("Show polygon edges as overlay"));
    QAction* edgeOnly = viewBar_->addAction(QIcon(":views/polygon_edgeonly.png"), tr("Edge only"));
    edgeOnly->setToolTip(tr("Show polygon edges only"));
    for (QAction* a : {edgeOverlay, edgeOnly}) {
        a->setCheckable(true);
        edgeGroup->addAction(a);
        if (auto* button = qobject_cast<QToolButton*>(viewBar_->widgetForAction(a))) {
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);  // as the standard views
        }
    }
    connect(edgeGroup, &QActionGroup::triggered, this, [this, edgeOverlay, edgeOnly] {
        view_->scene().setEdgeDrawMode(edgeOnly->isChecked()      ? 1
                                       : edgeOverlay->isChecked() ? 2
                                                                  : 0);
        // The setting counts the other way round: 1 overlay, 2 edges only.
        settings_.polygonMode = edgeOverlay->isChecked() ? 1 : edgeOnly->isChecked() ? 2 : 0;
        view_->update();
    });
    edgeOverlay->setObjectName("actionEdgeOverlay");
    edgeOnly->setObjectName("actionEdgeOnly");

    // The main bar can be dragged to any edge; the style's height rule holds for the
    // horizontal bar only, so its rules are looked up again when it turns.
    ui_->toolBarMain->setAllowedAreas(Qt::AllToolBarAreas);
    connect(ui_->toolBarMain, &QToolBar::orientationChanged, this, [this](Qt::Orientation) {
        ui_->toolBarMain->style()->unpolish(ui_->toolBarMain);
        ui_->toolBarMain->style()->polish(ui_->toolBarMain);
    });

    // The three bar actions: at most one bar is shown.
    mainGroup_ = new QActionGroup(this);
    mainGroup_->setExclusive(false);
    mainGroup_->addAction(ui_->tbActionAlgorithms);
    mainGroup_->addAction(ui_->tbActionObject);
    mainGroup_->addAction(ui_->tbActionView);
    connect(mainGroup_, &QActionGroup::triggered, this, &MainWindow::mainActions_triggered);
    connect(ui_->tbActionAlgorithms, &QAction::toggled, algorithmBar, &QToolBar::setVisible);
    connect(ui_->tbActionObject, &QAction::toggled, editBar_, &QToolBar::setVisible);
    connect(ui_->tbActionView, &QAction::toggled, viewBar_, &QToolBar::setVisible);
    connect(editBar_, &QToolBar::visibilityChanged, this, &MainWindow::toolBarVisibilityChanged);
    algorithmBar->setVisible(false);
    viewBar_->setVisible(false);
    ui_->tbActionObject->setChecked(true);
    editBar_->setVisible(true);
}

alg3D::Color MainWindow::objectColor(std::uint64_t n) {
    long long h = 200 - static_cast<long long>(n % 11) * 30;
    if (n % 2 == 1) h -= 140;
    h %= 360;
    if (h < 0) h += 360;
    return alg3D::colorScale(0.0, static_cast<double>(h));
}

QString MainWindow::versionText() {
    return QString::asprintf("%s Version %d.%d.%d.%d", "Stelvane Tessaro UI", 3, 3, 4, 0);
}

QString MainWindow::noticeText() {
    return tr(
        "Stelvane Tessaro UI is the demonstration and test workbench of the alg3D library "
        "for 3D measurement data. It is provided for evaluation only, without any warranty.");
}

QString MainWindow::interfaceFontFamily() {
    // "Segoe UI" where it is installed; elsewhere Open Sans (installed with the program's
    // packages), a humanist sans by the same designer with nearly the same widths and
    // heights, so the bars and panels keep their layout on every machine.
    const QStringList families = QFontDatabase().families();
    if (families.contains("Segoe UI")) return "Segoe UI";
    if (families.contains("Open Sans")) return "Open Sans";
    return QApplication::font().family();
}

QString MainWindow::baseStyleSheet() {
    QFile file(":/main/style_base.qss");
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

void MainWindow::applyCustomStyleSheet() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? (static_cast<int>(screen->logicalDotsPerInchY()) +
                              static_cast<int>(screen->logicalDotsPerInchX())) /
                                 2
                           : 96;
    const QString family = interfaceFontFamily();
    QFont font(family);
    font.setPixelSize(std::max(1, dpi * 10 / 72));
    QApplication::setFont(font);

    const bool dark = settings_.style == "dark";
    TessaroStyle::setBright(!dark);
    const QColor iconColor = dark ? Qt::white : Qt::black;
    const QPalette palette = TessaroStyle::schemePalette(!dark);
    QApplication::setPalette(palette);
    const double s = scale_;
    const QColor window = palette.color(QPalette::Window);
    QString sheet = QString("*{font: %1px \"%2\";}").arg(font.pixelSize()).arg(family);
    sheet += baseStyleSheet();
    sheet += QString(
                 "QTreeWidget{qproperty-iconSize: %1px %1px; } QToolButton{ min-height: %2px; "
                 "qproperty-iconSize: %2px %2px; }")
                 .arg(int(24 * s))
                 .arg(int(32 * s));
    // The height rule holds for the horizontal main bar only (it may be docked at a side).
    sheet += QString(
                 "QToolBar[orientation=\"1\"], QToolBar QToolButton{ min-height: %1px;max-height: "
                 "%1px; qproperty-iconSize: %2px %2px;}")
                 .arg(int(48 * s))
                 .arg(int(32 * s));
    sheet += QString(
                 "SubToolBar, SubToolBar QToolButton{ min-height: %1px;max-height: %1px; "
                 "qproperty-iconSize: %2px %2px;}")
                 .arg(int(48 * s))
                 .arg(int(20 * s));
    sheet +=
        QString("QComboBox{ min-height: %1px; qproperty-iconSize: %1px %1px;}").arg(int(24 * s));
    sheet += QString(
                 "SubToolBar,ToolWidget{background-color: rgba(%1,%2,%3,224);} ToolWidget "
                 "QFrame{background-color: transparent;}")
                 .arg(window.red())
                 .arg(window.green())
                 .arg(window.blue());
    sheet += legibleTextRules(palette);
    qApp->setStyleSheet(sheet);
    // Icons are drawn in one colour; they are tinted for the scheme, keeping their alpha.
    for (QAction* action : findChildren<QAction*>()) {
        if (action->icon().isNull()) continue;
        if (!action->property("tessaroIcon").isValid()) {
            action->setProperty("tessaroIcon", QVariant::fromValue(action->icon()));
        }
        const QIcon original = action->property("tessaroIcon").value<QIcon>();
        action->setIcon(tintedIcon(original, iconColor));
    }
    // The selection tools on the edit bar and the icon buttons of the panels (shapes,
    // algorithms, object tools) are plain buttons; they follow the same rule. The panels'
    // title arrows change with their state and stay as drawn.
    QList<QToolButton*> plainButtons;
    if (selectionTools_) plainButtons += selectionTools_->findChildren<QToolButton*>();
    for (ToolWidget* panel : findChildren<ToolWidget*>())
        for (QToolButton* button : panel->findChildren<QToolButton*>())
            if (button->objectName() != "toolWidgetTitle" && !button->icon().isNull() &&
                !button->defaultAction())
                plainButtons << button;
    {
        for (QToolButton* button : plainButtons) {
            if (!button->property("tessaroIcon").isValid()) {
                button->setProperty("tessaroIcon", QVariant::fromValue(button->icon()));
            }
            button->setIcon(tintedIcon(button->property("tessaroIcon").value<QIcon>(), iconColor));
        }
    }
}

QIcon MainWindow::tintedIcon(const QIcon& icon, const QColor& color) {
    QImage image = icon.pixmap(128, 128).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgba(color.red(), color.green(), color.blue(), qAlpha(line[x]));
        }
    }
    return QIcon(QPixmap::fromImage(image));
}

QString MainWindow::legibleTextRules(const QPalette& palette) {
    // Text colours that stand out from what they are drawn on (contrast 4.5 and more):
    // menus and tool-bar buttons on the window colour with the window's text colour,
    // the hovered menu entry in the highlight, and editable fields and lists (light grey
    // base in both schemes) with dark text.
    auto rgb = [](const QColor& c) {
        return QString("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
    };
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    const QColor highlight = palette.color(QPalette::Highlight);
    const QColor mid = palette.color(QPalette::Mid);
    const bool darkWindow = window.lightness() < 128;
    // Disabled texts stay legible too (contrast 4.5 on the bar), only less bright.
    const QColor disabled = darkWindow ? QColor(212, 212, 212) : QColor(60, 60, 60);
    // Elsewhere they are greyed more, yet keep a contrast of 3 and more: on the window
    // colour (the panels) 4.2 in both schemes, in the light fields 3.8.
    const QColor disabledOnWindow = darkWindow ? QColor(160, 160, 160) : QColor(100, 100, 100);
    const QColor disabledInField(90, 90, 90);
    return QString(
               "*:disabled{color: %1;}"
               "QLineEdit:disabled, QAbstractItemView:disabled, QComboBox:disabled, "
               "QAbstractSpinBox:disabled{color: %2;}")
               .arg(rgb(disabledOnWindow), rgb(disabledInField)) +
           QString(
               "QMenu{background-color: %1; color: %2; border: 1px solid %4;}"
               "QMenu::item{padding: 0.6ex 2em 0.6ex 0.4em; background-color: transparent;}"
               "QMenu::item:selected{background-color: %3; color: white;}"
               "QMenu::item:disabled{color: %5;}"
               "QMenu::icon{padding-left: 0.4em;}"
               "QMenu::separator{height: 1px; background-color: %4; margin: 0.4ex 0.4em;}"
               "QToolBar{spacing: 1px;}"
               "QToolBar QToolButton{color: %2; border: none; border-radius: 3px; padding: 0px "
               "2px;}"
               "QToolBar QToolButton:hover{background-color: %6;}"
               "QToolBar QToolButton:checked, QToolBar QToolButton:pressed{background-color: %4;}"
               "QToolBar QToolButton:disabled{color: %5;}"
               "QToolBar QLabel{color: %2;}"
               // Icon buttons of the panels (shapes, algorithms) draw their text on the
               // panel, not on a button face.
               "ToolWidget QToolButton{color: %2;}"
               "ToolWidget QToolButton:checked{background-color: %4; color: %2;}"
               // Panel titles: dark text on a light grey bar in both schemes.
               "ToolWidget QToolButton#toolWidgetTitle{color: rgb(20,20,20); "
               "background-color: rgb(184,184,184); border: none; padding: 0.4ex 0.2em;}"
               "QLineEdit, QAbstractItemView, QComboBox, QAbstractSpinBox{color: rgb(20,20,20);}"
               // Lists and tables in the side panels keep their light base (the panels
               // themselves are see-through).
               "ToolWidget QAbstractItemView{background-color: %7;}")
               .arg(rgb(window), rgb(text), rgb(highlight), rgb(mid), rgb(disabled),
                    QString("rgba(%1,%2,%3,128)").arg(mid.red()).arg(mid.green()).arg(mid.blue()),
                    rgb(palette.color(QPalette::Base)));
}

void MainWindow::adaptToScreenSize(int) {}

void MainWindow::adaptToWorkAreaSize(int) {
    scale_ = TessaroStyle::displayScale();
    TessaroStyle::setScale(scale_);
    applyMinimumSize();
    applyCustomStyleSheet();
}

void MainWindow::applyMinimumSize() {
    // 1130 x 890 at the display scale, but never larger than the screen's work area: a
    // window taller than a 1280 x 800 screen would hide its lower part for good.
    QSize size(static_cast<int>(1130 * scale_), static_cast<int>(890 * scale_));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    setMinimumSize(size);
}

QMenu* MainWindow::createPopupMenu() {
    // Right-click on the main bar offers the three bar toggles, never a way to hide the
    // main bar itself (it holds the menu and could not be brought back).
    auto* menu = new QMenu(this);
    menu->addActions(mainGroup_->actions());
    return menu;
}

void MainWindow::registerAlgorithmPanel(const QString& actionName, ToolWidget* panel) {
    auto* action = findChild<QAction*>(actionName);
    if (!action || !panel) return;
    panelColumn_->layout()->removeWidget(panel);
    static_cast<QVBoxLayout*>(panelColumn_->layout())->insertWidget(1, panel);
    panel->hide();
    action->setEnabled(true);
    connect(action, &QAction::toggled, panel, &QWidget::setVisible);
}

void MainWindow::toolBarVisibilityChanged(bool visible) {
    if (!visible && algorithmBar_ && !algorithmBar_->isVisible()) {
        for (QAction* a : panelGroup_->actions())
            if (a->isChecked()) a->setChecked(false);
    }
    if (!visible && actionMeasure_ && actionMeasure_->isChecked()) actionMeasure_->trigger();
    if (!visible && actionTransform_ && actionTransform_->isChecked()) actionTransform_->trigger();
}

void MainWindow::mainActions_triggered(QAction* action) {
    for (QAction* other : mainGroup_->actions()) {
        if (other != action && other->isChecked()) other->setChecked(false);
    }
}

void MainWindow::on_actionConfig_triggered() {
    config_->show();
    config_->raise();
    config_->activateWindow();
}

void MainWindow::onConfigChanged() {
    view_->setBackground(settings_.colorTop, settings_.colorBottom);
    if (pointSizeSlider_) view_->setPointSize(pointSizeSlider_->value());
    view_->scene().setShowAxes(settings_.showAxis);
    view_->update();
}

void MainWindow::onLanguageChanged(int index) {
    setGerman(index == 0);  // 1 is English
}

void MainWindow::setGerman(bool german) {
    // Qt's own texts (dialog buttons, file and colour dialogs) and the program's.
    if (!qtTranslator_) {
        qtTranslator_ = std::make_unique<QTranslator>();
        if (!qtTranslator_->load("qtbase_de",
                                 QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
            std::printf("Qt's German texts are not installed\n");
        }
        appTranslator_ = std::make_unique<QTranslator>();
        if (!appTranslator_->load(":/languages/tessaro_de.qm")) {
            std::printf("the German translation is missing\n");
        }
    }
    QCoreApplication::removeTranslator(qtTranslator_.get());
    QCoreApplication::removeTranslator(appTranslator_.get());
    german_ = german;
    if (german) {
        QCoreApplication::installTranslator(qtTranslator_.get());
        QCoreApplication::installTranslator(appTranslator_.get());
    }
    // Qt posts the change to every window; deliver it now, so that no window shows the
    // old language once the switch returns.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    // The first walk remembers the English texts, so that later switches can go back.
    i18n::retranslateTree(this);
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        i18n::retranslateTree(this);
        if (objects_) objects_->updateObjectInfo();  // the info keys
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::viewPerspective(bool checked) {
    view_->camera().setOrthographic(!checked);
    settings_.orthographic = !checked;
    view_->update();
}

void MainWindow::on_actionNew_triggered() {
    if (!ui::question(this, tr("Clear"), tr("Clear scene?"))) return;
    objects_->clear();
    view_->scene().updateBoundingBox();
    view_->update();
    objectCounter_ = 0;
}

void MainWindow::on_actionQuit_triggered() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (view_ && !view_->scene().objects().empty() &&
        !ui::question(this, tr("Quit"), tr("Really quit?"))) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Escape and Alt go on to the view wherever the focus is. A key the view hands back
    // (an ignored event travels up to this window again) ends here, once.
    if ((event->key() == Qt::Key_Escape || event->key() == Qt::Key_Alt) && view_ &&
        !forwardingKey_) {
        forwardingKey_ = true;
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(),
                       event->isAutoRepeat(), static_cast<ushort>(event->count()));
        QCoreApplication::sendEvent(view_, &copy);
        forwardingKey_ = false;
        event->accept();
        return;
    }
    event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasFormat("text/uri-list") ||
        (event->proposedAction() & Qt::MoveAction)) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile()) pendingFiles_ << info.absoluteFilePath();
    }
    event->acceptProposedAction();
    if (!pendingFiles_.isEmpty()) on_actionLoadFile_triggered();
}

void MainWindow::ReceiveMessageFromOtherInstance(QStringList message) {
    showNormal();
    raise();
    activateWindow();
    if (message.isEmpty()) return;
    pendingFiles_ = message;
    on_actionLoadFile_triggered();
}

bool MainWindow::runComputation(
    const QString& title, const SceneCopies& copies,
    const std::function<tessaro::commands::JobStatus(ProgressWait&)>& run,
    const std::function<void()>& apply, Qt::WindowModality modality) {
    using tessaro::commands::JobStatus;
    JobStatus status = JobStatus::kAborted;
    const bool ran = runGuarded(this, title, [&] {
        ProgressWait wait(this, tr("Computing..."), ProgressWait::Kind::kComputation, scale_);
        wait.dialog().setWindowModality(modality);
        if (!copies.empty() && sceneDataOf(copies, wait.callback()) != JobStatus::kCompleted)
            return;
        status = run(wait);
    });
    const bool completed = ran && status == JobStatus::kCompleted;
    if (completed && apply) apply();
    view_->update();
    return completed;
}
