// The window's look and language: the "Properties" dialog and its slots, the colour
// schemes switched live, the style's metrics and disabled icons, the font, the contrast
// of every text and icon on the bars and panels in both schemes, the display scale at 96
// and 144 dpi, and the German interface (every widget and action walked, and back).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "CuiDlgConfig.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"
#include "TessaroStyle.h"
#include "panels/ToolWidget.h"

namespace {

using guitest::DialogRecorder;
using guitest::TempDir;

// The terms that stay as they are in German (the same list heads the .ts files).
const QStringList kTechnicalTerms = {
    "Gauss",   "Chebyshev", "Minimax",     "ICP",   "STL",          "PNG",   "Polygon",
    "Lasso",   "Radius",    "Radius2",     "Torus", "Superellipse", "Huber", "Tukey",
    "Ellipse", "Rotation",  "Translation", "Info",  "auto",         "Auto",  "Stelvane Tessaro UI"};

// The program's own style for the tests of this file, the test program's style after.
class ProgramStyle {
  public:
    ProgramStyle() : previous_(QApplication::style()->objectName()) {
        QApplication::setStyle(new TessaroStyle(1.0));
    }
    ~ProgramStyle() {
        QApplication::setStyle(QStyleFactory::create(previous_));
        qApp->setStyleSheet(QString());
    }

  private:
    QString previous_;
};

class StyleTest : public ::testing::Test {
  protected:
    void SetUp() override { start(); }
    void TearDown() override {
        if (window) window->setGerman(false);
        window.reset();
    }
    void start() {
        window = std::make_unique<MainWindow>(nullptr, dir.qfile("settings.ini"));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QAction* action(const char* name) { return window->findChild<QAction*>(name); }
    QToolBar* bar(const char* name) { return window->findChild<QToolBar*>(name); }

    // Opens the menu with a click on its button and picks "Properties" with a click.
    CuiDlgConfig* openPropertiesByClicks() {
        QWidget* menuButton = bar("toolBarMain")->widgetForAction(action("tbActionMenu"));
        QMenu* menu = action("tbActionMenu")->menu();
        QTimer::singleShot(0, [menu, this] {
            QTRY_VERIFY(menu->isVisible());
            const QRect r = menu->actionGeometry(action("actionConfig"));
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, r.center());
        });
        QTest::mouseClick(menuButton, Qt::LeftButton);
        CuiDlgConfig* dialog = window->configDialog();
        if (!QTest::qWaitForWindowExposed(dialog)) return nullptr;
        return dialog;
    }
    // Picks a row of a combo box of the dialog by keys, as a user with the keyboard does.
    static void chooseRow(QComboBox* box, int row) {
        box->setFocus();
        while (box->currentIndex() > row)
            QTest::keyClick(box, Qt::Key_Up);
        while (box->currentIndex() < row)
            QTest::keyClick(box, Qt::Key_Down);
    }

    ProgramStyle style;
    TempDir dir;
    DialogRecorder recorder;
    std::unique_ptr<MainWindow> window;
};

// --- the dialog ------------------------------------------------------------------------

TEST_F(StyleTest, PropertiesOpensFromTheMenuWithItsWidgets) {
    EXPECT_TRUE(action("actionConfig")->isEnabled());
    CuiDlgConfig* dialog = openPropertiesByClicks();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), "Properties");
    EXPECT_EQ(dialog->parentWidget(), window.get());
    auto* language = dialog->findChild<QComboBox*>("comboBoxLanguage");
    auto* colors = dialog->findChild<QComboBox*>("comboBoxColors");
    ASSERT_TRUE(language && colors);
    EXPECT_EQ(language->itemText(0), "German");
    EXPECT_EQ(language->itemText(1), "English");
    EXPECT_EQ(language->currentIndex(), 1);
    EXPECT_EQ(colors->itemText(0), "bright");
    EXPECT_EQ(colors->itemText(1), "dark");
    EXPECT_EQ(colors->currentIndex(), 1);
    EXPECT_TRUE(dialog->findChild<QCheckBox*>("checkBoxAxes")->isChecked());
    EXPECT_EQ(dialog->findChild<QToolButton*>("btnColorTop")->text(), "...");
    EXPECT_EQ(dialog->findChild<QToolButton*>("btnColorTop")->styleSheet(),
              CuiDlgConfig::colorButtonSheet(QColor(78, 93, 108)));
    EXPECT_TRUE(dialog->findChild<QPushButton*>("btnClose")->isFlat());
    dialog->grab().save(guitest::artifactPath("dialog-properties.png"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(StyleTest, SchemeSwitchResetsColoursAndRestylesTheWholeWindow) {
    window->settings().colorTop = QColor(1, 2, 3);
    CuiDlgConfig* dialog = openPropertiesByClicks();
    ASSERT_TRUE(dialog);
    QStringList order;
    QObject::connect(dialog, &CuiDlgConfig::styleChanged, [&] { order << "style"; });
    QObject::connect(dialog, &CuiDlgConfig::configChanged, [&] { order << "config"; });
    chooseRow(dialog->findChild<QComboBox*>("comboBoxColors"), 0);
    EXPECT_EQ(order, QStringList({"style", "config"}));
    EXPECT_EQ(window->settings().style, "bright");
    EXPECT_EQ(window->settings().colorTop, QColor(197, 197, 197));
    EXPECT_EQ(window->settings().colorBottom, QColor(197, 197, 197));
    EXPECT_TRUE(TessaroStyle::isBright());
    EXPECT_EQ(dialog->findChild<QToolButton*>("btnColorBottom")->styleSheet(),
              CuiDlgConfig::colorButtonSheet(QColor(197, 197, 197)));
    dialog->close();

    // Not only the view: the bars and the panels are drawn in the bright colours, and
    // the icons in black.
    QApplication::processEvents();
    const QImage shot = window->grab().toImage();
    const QToolBar* mainBar = bar("toolBarMain");
    const QPoint barPixel = mainBar->mapTo(window.get(), QPoint(mainBar->width() - 4, 4));
    EXPECT_GT(QColor(shot.pixel(barPixel)).lightness(), 200);  // the bright window colour
    const QImage icon = action("actionLoadFile")->icon().pixmap(32, 32).toImage();
    EXPECT_EQ(QColor(icon.pixel(16, 16)).rgb() & 0xFFFFFF, 0u);  // black, where drawn
    auto* panel = window->findChild<ToolWidget*>();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->palette().color(QPalette::WindowText), QColor(20, 20, 20));

    // And back to dark.
    chooseRow(dialog->findChild<QComboBox*>("comboBoxColors"), 1);
    EXPECT_EQ(window->settings().style, "dark");
    EXPECT_EQ(window->settings().colorTop, QColor(78, 93, 108));
    EXPECT_EQ(panel->palette().color(QPalette::WindowText), QColor(230, 230, 230));
}

TEST_F(StyleTest, AxesBoxAndColourButtons) {
    CuiDlgConfig* dialog = openPropertiesByClicks();
    ASSERT_TRUE(dialog);
    QSignalSpy config(dialog, &CuiDlgConfig::configChanged);
    auto* axes = dialog->findChild<QCheckBox*>("checkBoxAxes");
    QTest::mouseClick(axes, Qt::LeftButton, Qt::NoModifier, QPoint(8, axes->height() / 2));
    EXPECT_FALSE(window->settings().showAxis);
    EXPECT_FALSE(window->view()->scene().showAxes());
    EXPECT_EQ(config.count(), 1);

    // A chosen colour is stored, shown on its button and applied; a cancelled dialog
    // keeps the old colour and emits nothing.
    QString askedTitle;
    QColor answer(10, 200, 30);
    ui::hooks().color = [&](const QString& title, const QColor&) {
        askedTitle = title;
        return answer;
    };
    auto* top = dialog->findChild<QToolButton*>("btnColorTop");
    QTest::mouseClick(top, Qt::LeftButton);
    EXPECT_EQ(askedTitle, "Select color");
    EXPECT_EQ(window->settings().colorTop, answer);
    EXPECT_EQ(top->styleSheet(), CuiDlgConfig::colorButtonSheet(answer));
    EXPECT_EQ(config.count(), 2);
    answer = QColor();
    QTest::mouseClick(dialog->findChild<QToolButton*>("btnColorBottom"), Qt::LeftButton);
    EXPECT_EQ(window->settings().colorBottom, QColor(78, 93, 108));
    EXPECT_EQ(config.count(), 2);
    QTest::mouseClick(top, Qt::LeftButton);
    EXPECT_EQ(window->settings().colorTop, QColor(10, 200, 30));
    EXPECT_EQ(config.count(), 2);
    ui::hooks().color = nullptr;
}

TEST_F(StyleTest, SettingsOfTheDialogAreWrittenAndReadBack) {
    CuiDlgConfig* dialog = openPropertiesByClicks();
    ASSERT_TRUE(dialog);
    QSignalSpy language(dialog, &CuiDlgConfig::languageChanged);
    chooseRow(dialog->findChild<QComboBox*>("comboBoxLanguage"), 0);
    ASSERT_EQ(language.count(), 1);
    EXPECT_EQ(language.at(0).at(0).toInt(), 0);
    EXPECT_EQ(window->settings().language, "Deutsch");
    chooseRow(dialog->findChild<QComboBox*>("comboBoxColors"), 0);
    window.reset();
    QSettings stored(dir.qfile("settings.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Language").toString(), "Deutsch");
    EXPECT_EQ(stored.value("Style").toString(), "bright");
    EXPECT_EQ(stored.value("ColorTop").value<QColor>(), QColor(197, 197, 197));

    // The next start speaks German in the bright scheme, and the dialog shows both.
    start();
    EXPECT_TRUE(window->isGerman());
    EXPECT_EQ(action("actionLoadFile")->text(), "Datei laden");
    EXPECT_TRUE(TessaroStyle::isBright());
    window->configDialog()->show();
    EXPECT_EQ(window->configDialog()->findChild<QComboBox*>("comboBoxLanguage")->currentIndex(), 0);
    EXPECT_EQ(window->configDialog()->findChild<QComboBox*>("comboBoxColors")->currentIndex(), 0);
    window->configDialog()->close();
}

TEST(StyleSettingsTest, OnlyDeutschInThatSpellingSelectsGerman) {
    ProgramStyle style;
    for (const char* stored : {"deutsch", "German", "DEUTSCH", ""}) {
        TempDir dir;
        QSettings(dir.qfile("settings.ini"), QSettings::IniFormat).setValue("Language", stored);
        MainWindow window(nullptr, dir.qfile("settings.ini"));
        EXPECT_FALSE(window.isGerman()) << stored;
        EXPECT_EQ(window.findChild<QAction*>("actionLoadFile")->text(), "Load File") << stored;
    }
}

// --- the style -------------------------------------------------------------------------

TEST(TessaroStyleTest, SmallIconMetricFollowsTheScale) {
    const double before = TessaroStyle::scale();
    TessaroStyle style(1.5);
    EXPECT_EQ(TessaroStyle::scale(), 1.5);
    EXPECT_EQ(style.pixelMetric(QStyle::PM_SmallIconSize), 48);
    EXPECT_EQ(style.pixelMetric(QStyle::PM_SmallIconSize), int(1.5 * 32));
    TessaroStyle::setScale(1.0);
    EXPECT_EQ(style.pixelMetric(QStyle::PM_SmallIconSize), 32);
    EXPECT_EQ(style.pixelMetric(QStyle::PM_ToolBarIconSize),
              QStyleFactory::create("Fusion")->pixelMetric(QStyle::PM_ToolBarIconSize));
    TessaroStyle::setScale(before);
}

TEST(TessaroStyleTest, DisabledIconsAreGreyWithTheirAlpha) {
    TessaroStyle style(1.0);
    QImage image(4, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 255));
    image.setPixel(1, 0, qRgba(0, 0, 255, 128));
    image.setPixel(2, 0, qRgba(0, 0, 0, 0));
    image.setPixel(3, 0, qRgba(255, 255, 255, 10));
    const QPixmap original = QPixmap::fromImage(image);
    const QImage disabled = style.generatedIconPixmap(QIcon::Disabled, original, nullptr)
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32);
    const QColor grey(Qt::gray);
    for (int x = 0; x < 4; ++x) {
        const QRgb p = disabled.pixel(x, 0);
        EXPECT_EQ(qAlpha(p), qAlpha(image.pixel(x, 0))) << x;
        if (qAlpha(p) == 255) {
            EXPECT_EQ(QColor(p), grey) << x;
        }
    }
    // Other modes are the base style's: the normal pixmap comes back unchanged.
    EXPECT_EQ(style.generatedIconPixmap(QIcon::Normal, original, nullptr).toImage(),
              original.toImage());
}

TEST(TessaroStyleTest, SchemePalettes) {
    struct Row {
        QPalette::ColorRole role;
        QColor bright, dark;
    };
    const Row rows[] = {{QPalette::Window, QColor(218, 218, 218), QColor(43, 62, 80)},
                        {QPalette::WindowText, QColor(20, 20, 20), QColor(230, 230, 230)},
                        {QPalette::Button, QColor(192, 192, 192), QColor(192, 192, 192)},
                        {QPalette::Light, QColor(230, 230, 230, 180), QColor(202, 202, 202, 96)},
                        {QPalette::Mid, QColor(163, 178, 185), QColor(53, 89, 128)},
                        {QPalette::Dark, QColor(3, 169, 244), QColor(29, 45, 68)},
                        {QPalette::Highlight, QColor(51, 153, 255), QColor(6, 78, 135)},
                        {QPalette::Shadow, QColor(Qt::cyan), QColor(Qt::cyan)}};
    for (const Row& r : rows) {
        EXPECT_EQ(TessaroStyle::schemePalette(true).color(r.role), r.bright) << r.role;
        EXPECT_EQ(TessaroStyle::schemePalette(false).color(r.role), r.dark) << r.role;
    }
    EXPECT_EQ(TessaroStyle::schemePalette(false).color(QPalette::Disabled, QPalette::Text),
              QColor(127, 127, 127));
}

TEST_F(StyleTest, FontAndStyleSheet) {
    const QString family = MainWindow::interfaceFontFamily();
    const bool segoe = QFontDatabase().families().contains("Segoe UI");
    EXPECT_EQ(family, segoe ? "Segoe UI" : "Open Sans");
    EXPECT_EQ(QApplication::font().family(), family);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = (int(screen->logicalDotsPerInchY()) + int(screen->logicalDotsPerInchX())) / 2;
    EXPECT_EQ(QApplication::font().pixelSize(), dpi * 10 / 72);
    const QString sheet = qApp->styleSheet();
    EXPECT_TRUE(sheet.startsWith(QString("*{font: %1px \"%2\";}").arg(dpi * 10 / 72).arg(family)));
    const QString base = MainWindow::baseStyleSheet();
    EXPECT_TRUE(base.contains("QToolTip")) << base.left(200).toStdString();
    EXPECT_TRUE(base.contains(":main/arrow_down.png"));
    EXPECT_TRUE(sheet.contains(base));
    EXPECT_LT(sheet.indexOf(base), sheet.indexOf("QTreeWidget{qproperty-iconSize"));
}

// --- legibility --------------------------------------------------------------------------

// Every text of the bars and of the visible panels against its background (WCAG 4.5;
// 3 for disabled texts, which must stay readable), and every icon of the bars (3, for
// graphics), in the current scheme. Returns the number of disabled texts checked.
int expectLegible(MainWindow& window, const char* scheme) {
    const QImage shot = window.grab().toImage();
    int disabledTexts = 0;
    auto checkText = [&](QWidget* w, QRect area, const QString& what) {
        // Only what is wholly on screen: a text scrolled (even partly) out of its panel is
        // not checked, a sliver of its row holds no letters.
        if (!w->isVisible() || area.width() < 4 || area.height() < 4) return;
        if ((area & w->visibleRegion().boundingRect()) != area) return;
        const QRect inWindow(w->mapTo(&window, area.topLeft()), area.size());
        disabledTexts += !w->isEnabled();
        EXPECT_GE(guitest::textContrast(shot, inWindow), w->isEnabled() ? 4.5 : 3.0)
            << scheme << ": " << what.toStdString() << (w->isEnabled() ? "" : " (disabled)");
    };
    for (QToolButton* b : window.findChildren<QToolButton*>()) {
        if (!b->isVisible() || b->text().isEmpty() || b->window() != &window) continue;
        if (b->toolButtonStyle() == Qt::ToolButtonIconOnly || b->icon().isNull()) {
            if (b->toolButtonStyle() != Qt::ToolButtonIconOnly) checkText(b, b->rect(), b->text());
        } else {
            const int icon = b->iconSize().width();
            checkText(b, b->rect().adjusted(icon + 4, 2, -2, -2), b->text());
        }
        if (b->isEnabled() && !b->icon().isNull() && qobject_cast<QToolBar*>(b->parentWidget())) {
            const int icon = b->iconSize().width();
            const QRect iconArea(b->mapTo(&window, QPoint(0, 0)),
                                 QSize(std::min(b->width(), icon + 6), b->height()));
            EXPECT_GE(guitest::textContrast(shot, iconArea), 3.0)
                << scheme << ": icon of " << b->text().toStdString();
        }
    }
    for (QLabel* l : window.findChildren<QLabel*>()) {
        if (l->text().trimmed().isEmpty() || l->window() != &window) continue;
        checkText(l, l->contentsRect(), l->text());
    }
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>()) {
        if (b->text().isEmpty() || b->window() != &window) continue;
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b)) {
            QStyleOptionButton option;
            option.initFrom(b);
            option.text = b->text();
            const QRect text = b->style()->subElementRect(qobject_cast<QCheckBox*>(b)
                                                              ? QStyle::SE_CheckBoxContents
                                                              : QStyle::SE_RadioButtonContents,
                                                          &option, b);
            checkText(b, text, b->text());
        } else if (qobject_cast<QPushButton*>(b)) {
            checkText(b, b->rect().adjusted(3, 3, -3, -3), b->text());
        }
    }
    for (QGroupBox* g : window.findChildren<QGroupBox*>()) {
        if (!g->isVisible() || g->title().isEmpty()) continue;
        const int h = g->fontMetrics().height();
        checkText(g, QRect(0, 0, g->width(), h), g->title());
    }
    return disabledTexts;
}

TEST_F(StyleTest, EveryTextAndIconIsLegibleInBothSchemes) {
    // The bundled sample part in the view, so that the pictures show the workbench at work.
    const QString sample = dir.qfile("sample_part.xyz");
    ASSERT_EQ(QProcess::execute("python3", {QString(TESSARO_SOURCE_DIR) + "/scripts/make-sample.py",
                                            sample, "120000"}),
              0);
    window->setPendingFiles({sample});
    window->on_actionLoadFile_triggered();
    ASSERT_EQ(window->view()->scene().objects().size(), 1u);
    window->view()->fit2view(GLCamera::kObliqueA);

    CuiDlgConfig* dialog = openPropertiesByClicks();
    ASSERT_TRUE(dialog);
    for (int row : {1, 0}) {
        const char* scheme = row == 1 ? "dark" : "bright";
        dialog->show();
        chooseRow(dialog->findChild<QComboBox*>("comboBoxColors"), row);
        dialog->close();
        // Each bar in turn, and every algorithm panel with the algorithm bar.
        const std::pair<const char*, const char*> bars[] = {{"tbActionObject", "editBar"},
                                                            {"tbActionView", "viewBar"},
                                                            {"tbActionAlgorithms", "algorithmBar"}};
        for (const auto& [barAction, barName] : bars) {
            if (!action(barAction)->isChecked()) action(barAction)->trigger();
            QApplication::processEvents();
            EXPECT_EQ(bar(barName)->height(), int(48 * window->displayScale())) << barName;
            expectLegible(*window, scheme);
        }
        int disabledTexts = 0;
        QToolBar* algorithms = bar("algorithmBar");
        for (QAction* a : algorithms->actions()) {
            if (!a->isCheckable() || !a->isEnabled()) continue;
            a->trigger();
            QApplication::processEvents();
            disabledTexts += expectLegible(
                *window, (QString(scheme) + " with " + a->text()).toUtf8().constData());
            window->grab().save(guitest::artifactPath(
                QString("window-%1-%2.png").arg(scheme, a->objectName().mid(6).toLower())));
            a->trigger();
        }
        if (!action("tbActionObject")->isChecked()) action("tbActionObject")->trigger();
        QApplication::processEvents();
        window->grab().save(guitest::artifactPath(QString("window-%1.png").arg(scheme)));
        EXPECT_GT(disabledTexts, 0) << scheme;  // the panels show disabled rows
    }
}

// --- display scale ---------------------------------------------------------------------

// Run by DisplayScaleTest in a child process with the display's DPI forced.
TEST(DisplayScaleChild, BarRowsAndIconsFollowTheScale) {
    const QByteArray expected = qgetenv("TESSARO_EXPECT_DPI");
    if (expected.isEmpty()) GTEST_SKIP() << "run by DisplayScaleTest";
    const int dpi = expected.toInt();
    const double s = std::max(1.0, dpi / 96.0);
    EXPECT_EQ(TessaroStyle::displayScale(), s);
    ProgramStyle style;
    TempDir dir;
    DialogRecorder recorder;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.displayScale(), s);
    EXPECT_EQ(QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize), int(32 * s));
    auto* mainBar = window.findChild<QToolBar*>("toolBarMain");
    EXPECT_EQ(mainBar->height(), int(48 * s));
    EXPECT_EQ(mainBar->iconSize(), QSize(int(32 * s), int(32 * s)));
    for (QAction* a : mainBar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* button = mainBar->widgetForAction(a);
        EXPECT_EQ(button->height(), int(48 * s)) << a->text().toStdString();
    }
    auto* editBar = window.findChild<QToolBar*>("editBar");
    EXPECT_EQ(editBar->height(), int(48 * s));
    EXPECT_EQ(window.minimumSize().width(),
              std::min(int(1130 * s), QGuiApplication::primaryScreen()->availableSize().width()));
    window.grab().save(guitest::artifactPath(QString("window-%1dpi.png").arg(dpi)));
}

TEST(DisplayScaleTest, At96And144Dpi) {
    for (int dpi : {96, 144}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_FONT_DPI", QString::number(dpi));
        env.insert("TESSARO_EXPECT_DPI", QString::number(dpi));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=DisplayScaleChild.*"});
        ASSERT_TRUE(child.waitForFinished(120000)) << dpi;
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << dpi << "\n" << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    }
}

// --- German ------------------------------------------------------------------------------

// Every text a user can read in the window, its panels, menus and the dialog, by where it
// is: "<object path>|<what>".
QMap<QString, QString> visibleTexts(QWidget* root) {
    QMap<QString, QString> texts;
    auto path = [](const QObject* o) {
        QString p;
        for (; o; o = o->parent())
            p = QString("%1(%2)/").arg(o->metaObject()->className(), o->objectName()) + p;
        return p;
    };
    auto add = [&](const QObject* o, const QString& what, const QString& text) {
        if (!text.trimmed().isEmpty()) texts.insert(path(o) + "|" + what, text);
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        add(w, "tip", w->toolTip());
        if (w->isWindow()) add(w, "title", w->windowTitle());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            auto* tb = qobject_cast<QToolButton*>(w);
            if (!tb || !tb->defaultAction()) add(w, "text", b->text());
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            add(w, "text", l->text());
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            add(w, "title", g->title());
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < c->count(); ++i)
                add(w, QString("item%1").arg(i), c->itemText(i));
        } else if (auto* t = qobject_cast<QTreeWidget*>(w)) {
            for (int i = 0; i < t->headerItem()->columnCount(); ++i)
                add(w, QString("header%1").arg(i), t->headerItem()->text(i));
        } else if (auto* t = qobject_cast<QTableWidget*>(w)) {
            for (int i = 0; i < t->columnCount(); ++i)
                if (t->horizontalHeaderItem(i))
                    add(w, QString("header%1").arg(i), t->horizontalHeaderItem(i)->text());
        }
    }
    for (QAction* a : root->findChildren<QAction*>()) {
        if (a->isSeparator()) continue;
        add(a, "text", a->text());
        add(a, "tip", a->toolTip());
    }
    return texts;
}

bool mayStayAsItIs(const QString& text) {
    int letters = 0;
    for (QChar c : text)
        if (c.isLetter()) ++letters;
    if (letters <= 1) return true;  // numbers, axis letters, "..."
    for (const QString& term : kTechnicalTerms)
        if (text == term || text.startsWith(term + " ")) return true;
    return text.contains("Stelvane Tessaro UI") || text.startsWith("Halvorsk");
}

TEST_F(StyleTest, GermanThroughTheDialogLeavesNoEnglishTextAndSwitchesBack) {
    // Every panel exists (hidden panels included): the walk covers them all.
    const QMap<QString, QString> english = visibleTexts(window.get());
    ASSERT_GT(english.size(), 150);
    // A selected cloud's info keys (built in the scene objects) switch with the language.
    const auto selectCloud = [this](bool on) {
        if (window->view()->scene().objects().empty()) {  // "New" below clears the scene
            auto cloud = std::make_unique<GLObjPnts>();
            cloud->setPoints({alg3D::Vec3d(0, 0, 0), alg3D::Vec3d(1, 2, 3)});
            window->objectManager()->addObject(std::move(cloud));
        }
        window->view()->scene().objects().front()->setSelected(on);
        window->objectManager()->updateSelection();
    };
    const auto infoKeys = [this] {
        QStringList keys;
        const auto* table = window->findChild<QTableWidget*>("tableWidgetInfo");
        for (int row = 0; row < table->rowCount(); ++row)
            keys << table->item(row, 0)->text();
        return keys;
    };
    selectCloud(true);
    const QStringList englishKeys = {"points", "dx", "dy", "dz", "ctr", "volume", "selected"};
    EXPECT_EQ(infoKeys(), englishKeys);

    CuiDlgConfig* dialog = openPropertiesByClicks();
    ASSERT_TRUE(dialog);
    const QMap<QString, QString> dialogEnglish = visibleTexts(dialog);
    chooseRow(dialog->findChild<QComboBox*>("comboBoxLanguage"), 0);
    ASSERT_TRUE(window->isGerman());
    EXPECT_EQ(infoKeys(),
              QStringList({"Punkte", "dx", "dy", "dz", "Zentrum", "Volumen", "ausgewählt"}));
    selectCloud(false);

    const QMap<QString, QString> german = visibleTexts(window.get());
    int checked = 0;
    for (auto it = english.begin(); it != english.end(); ++it) {
        if (!german.contains(it.key())) continue;
        ++checked;
        if (mayStayAsItIs(it.value())) continue;
        EXPECT_NE(german.value(it.key()), it.value())
            << "still English: " << it.key().toStdString();
    }
    EXPECT_GT(checked, 150);
    EXPECT_EQ(dialog->windowTitle(), "Einstellungen");
    EXPECT_EQ(dialog->findChild<QComboBox*>("comboBoxLanguage")->itemText(0), "Deutsch");
    EXPECT_EQ(dialog->findChild<QComboBox*>("comboBoxLanguage")->currentIndex(), 0);
    EXPECT_EQ(action("actionConfig")->text(), "Einstellungen");
    EXPECT_EQ(action("actionLoadFile")->text(), "Datei laden");
    EXPECT_EQ(window->windowTitle(), "Halvorsk - Stelvane Tessaro UI 3.3");

    // Messages that appear later speak German too, Qt's own buttons included.
    window->on_actionNew_triggered();
    ASSERT_FALSE(recorder.questions.empty());
    EXPECT_EQ(recorder.questions.back().title, "Leeren");
    EXPECT_EQ(recorder.questions.back().text, "Szene leeren?");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    window->onActionCalcFit();  // nothing selected: a warning from the command layer
    ASSERT_FALSE(recorder.messages.empty());
    EXPECT_EQ(recorder.messages.back().title, "Geometrie-Einpassung");
    EXPECT_TRUE(recorder.messages.back().text.startsWith("Bitte wählen Sie"))
        << recorder.messages.back().text.toStdString();

    // The German screenshot with the algorithm bar and the fit panel open.
    dialog->close();
    action("tbActionAlgorithms")->trigger();
    window->findChild<QAction*>("actionGeometryFit")->trigger();
    QTRY_COMPARE(bar("algorithmBar")->height(), int(48 * window->displayScale()));
    QTest::qWait(100);  // the bar stack settles
    window->grab().save(guitest::artifactPath("window-german.png"));
    // The bar stack is one bar high, as in English: the view starts right below it.
    EXPECT_EQ(bar("algorithmBar")->parentWidget()->height(), bar("algorithmBar")->height());
    EXPECT_EQ(window->view()->mapTo(window.get(), QPoint(0, 0)).y(),
              bar("toolBarMain")->height() + bar("algorithmBar")->height());
    window->findChild<QAction*>("actionGeometryFit")->trigger();
    action("tbActionObject")->trigger();

    // Back to English: every text is the one of the start again.
    dialog->show();
    chooseRow(dialog->findChild<QComboBox*>("comboBoxLanguage"), 1);
    EXPECT_FALSE(window->isGerman());
    EXPECT_EQ(window->settings().language, "English");
    const QMap<QString, QString> again = visibleTexts(window.get());
    for (auto it = english.begin(); it != english.end(); ++it) {
        if (!again.contains(it.key())) continue;
        EXPECT_EQ(again.value(it.key()), it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(visibleTexts(dialog), dialogEnglish);
    selectCloud(true);
    EXPECT_EQ(infoKeys(), englishKeys);
}

}  // namespace
