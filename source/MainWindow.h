// The main window: the shell around the 3D view. Builds the window (identity, settings,
// style, view, tool bars), asks before clearing and quitting, takes dropped files and
// second-start file lists, and runs the file commands (MainWindowFiles.cpp) and the
// informational windows (InfoDialogs.cpp).
#pragma once

#include <QAbstractButton>
#include <QMainWindow>
#include <QPalette>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "OpenGL/GLCamera.h"
#include "Settings.h"
#include "alg3D/matrix/GLPoint.h"
#include "commands/JobRunner.h"

class GLView;
class QSettings;
class QToolBar;
class QActionGroup;
class QLabel;
class QMenu;
class Slider;
class QSplashScreen;
class QButtonGroup;
class QToolButton;
class ObjectManager;
class WidgetObjects;
class WidgetTransform;
class WidgetFitGeometry;
class WidgetDistances;
class WidgetAlgorithms;
class WidgetSurfaceFeatures;
class WidgetRegistration;
class GLBaseObject;
class ToolWidget;
class CuiDlgConfig;
class QTranslator;
class ProgressWait;
namespace tessaro::commands {
struct LoadedData;
}

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // `settingsFile` empty: the settings file of the program (settingsFilePath()).
    explicit MainWindow(QWidget* parent = nullptr, const QString& settingsFile = QString());
    ~MainWindow() override;

    GLView* view() const { return view_; }
    const SettingsRecord& settings() const { return settings_; }
    SettingsRecord& settings() { return settings_; }
    double displayScale() const { return scale_; }
    std::uint64_t objectCounter() const { return objectCounter_; }
    ObjectManager* objectManager() const { return objects_; }
    WidgetObjects* objectsPanel() const { return objectsPanel_; }
    WidgetTransform* transformPanel() const { return transformPanel_; }
    WidgetFitGeometry* fitPanel() const { return fitPanel_; }
    WidgetDistances* distancesPanel() const { return distancesPanel_; }
    WidgetAlgorithms* preprocessPanel() const { return preprocessPanel_; }
    WidgetSurfaceFeatures* featuresPanel() const { return featuresPanel_; }
    WidgetRegistration* registrationPanel() const { return registrationPanel_; }

    // Colour of the n-th object made by Split: the colour scale over 240 degrees at
    // (n mod 8) / 8, mirrored to 1 - v for odd n.
    static alg3D::Color splitColor(std::uint64_t n);

    // Puts an algorithm panel into the side column (hidden) and lets the algorithm bar's
    // action of that object name ("actionGeometryFit", "actionDistances", ...) show it.
    void registerAlgorithmPanel(const QString& actionName, ToolWidget* panel);
    QWidget* panelColumn() const { return panelColumn_; }

    // Files the load command reads without asking.
    void setPendingFiles(const QStringList& files) { pendingFiles_ = files; }
    const QStringList& pendingFiles() const { return pendingFiles_; }

    // Colour of the n-th object created by a load: the saturated colour of hue
    // 200 - (n mod 11) * 30, minus 140 for odd n, modulo 360.
    static alg3D::Color objectColor(std::uint64_t n);
    // The load dialog's filter: every readable suffix under "All supported".
    static QString loadFilter();

    // Style rules that keep menus, tool-bar texts and input fields legible on the palette.
    static QString legibleTextRules(const QPalette& palette);
    // The fixed part of the style sheet (a resource).
    static QString baseStyleSheet();
    // "Segoe UI" when installed, else the free font that stands in for it.
    static QString interfaceFontFamily();
    // `icon` drawn at 128 x 128 in `color`, keeping its alpha.
    static QIcon tintedIcon(const QIcon& icon, const QColor& color);

    CuiDlgConfig* configDialog() const { return config_; }
    // Installs the German translators (true) or removes them; the widgets follow through
    // their LanguageChange events.
    void setGerman(bool german);
    bool isGerman() const { return german_; }

    static QString versionText();
    static QString noticeText();

  public slots:
    void applyCustomStyleSheet();
    void adaptToScreenSize(int screen);
    void adaptToWorkAreaSize(int screen);
    void toolBarVisibilityChanged(bool visible);
    void mainActions_triggered(QAction* action);
    void selectionGroupTriggered(QAbstractButton* button);
    void onSelectionFinished();
    void on_actionConfig_triggered();
    void onConfigChanged();
    void onLanguageChanged(int index);
    void showLicense();
    void on_actionNew_triggered();
    void on_actionLoadFile_triggered();
    void on_actionSaveFile_triggered();
    void on_actionQuit_triggered();
    void viewPerspective(bool checked);
    void actionScreenshot_triggered();
    void on_tbActionInfo_triggered();
    void splitSelection();
    void onActionCalcFit();
    void mergeSelection();
    void startPolygonSelection(bool checked);
    void startRectangleSelection(bool checked);
    void startLassoSelection(bool checked);
    void transformToggled(bool checked);
    void onActionComputeConvexHull();
    void onActionCalcDist();
    void onActionCalcSmoothing();
    void onActionCalcThin();
    void onActionCalcRegions();
    void onActionCalcEdges();
    void onActionCalcNormals();
    void onActionCalcICP();
    void ReceiveMessageFromOtherInstance(QStringList message);

    // The pop-up of the main bar: the three bar toggles.
    QMenu* createPopupMenu() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void buildToolBars();
    void buildPanels();
    void buildEditTools();
    void buildHullCommand();
    void buildFitPanel();
    void buildDistancesPanel();
    void buildPreprocessPanel();
    // The one selected point cloud of a single-cloud command, or nullptr after its
    // warning ("Please select a pointcloud!", ..., `notACloudText`).
    GLBaseObject* singleCloudFor(const QString& title, const char* notACloudText);
    void buildFeaturesPanel();
    void buildRegistrationPanel();
    // The frame of every computing command: under runGuarded(`title`) and behind a
    // "Computing..." progress dialog of `modality`, copies each object of `copies` into its
    // data on the worker, then calls `run` with the dialog (it starts the command and
    // returns its status). When both completed, `apply` takes the result into the scene on
    // the GUI thread; the view is repainted either way. True when the run completed (false
    // after an abort, a copy that did not complete or an exception, which shows its box).
    using SceneCopies = std::vector<std::pair<const GLBaseObject*, tessaro::commands::LoadedData*>>;
    bool runComputation(const QString& title, const SceneCopies& copies,
                        const std::function<tessaro::commands::JobStatus(ProgressWait&)>& run,
                        const std::function<void()>& apply,
                        Qt::WindowModality modality = Qt::WindowModal);
    void applyMinimumSize();
    void loadOneFile(const QString& fileName, class ProgressWait& wait);
    void loadFitResult(const QString& fileName);

    std::unique_ptr<Ui::MainWindow> ui_;
    GLView* view_ = nullptr;
    std::unique_ptr<QSettings> qsettings_;
    SettingsRecord settings_;
    QStringList pendingFiles_;
    std::uint64_t objectCounter_ = 0;
    int processors_ = 1;
    double scale_ = 1.0;
    QToolBar* viewBar_ = nullptr;
    QToolBar* editBar_ = nullptr;
    QAction* actionPerspective_ = nullptr;
    QAction* actionMeasure_ = nullptr;
    Slider* pointSizeSlider_ = nullptr;
    QActionGroup* mainGroup_ = nullptr;
    ObjectManager* objects_ = nullptr;
    WidgetObjects* objectsPanel_ = nullptr;
    WidgetTransform* transformPanel_ = nullptr;
    WidgetFitGeometry* fitPanel_ = nullptr;
    WidgetDistances* distancesPanel_ = nullptr;
    WidgetAlgorithms* preprocessPanel_ = nullptr;
    WidgetSurfaceFeatures* featuresPanel_ = nullptr;
    WidgetRegistration* registrationPanel_ = nullptr;
    QWidget* selectionTools_ = nullptr;
    QWidget* panelColumn_ = nullptr;
    QToolBar* algorithmBar_ = nullptr;
    QActionGroup* panelGroup_ = nullptr;
    QButtonGroup* selectionGroup_ = nullptr;
    QAction* actionSplit_ = nullptr;
    QAction* actionMerge_ = nullptr;
    QAction* actionTransform_ = nullptr;
    bool forwardingKey_ = false;
    CuiDlgConfig* config_ = nullptr;
    bool german_ = false;
    std::unique_ptr<QTranslator> qtTranslator_, appTranslator_;
};
