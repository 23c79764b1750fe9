// File commands of the main window: load (dialog or pending list), save (selected objects
// into one file, replaced only when complete) and screenshot.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProgressDialog>
#include <cstdio>
#include <exception>
#include <list>
#include <memory>

#include "ComputationRunner.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "OpenGL/GLPrimitiveFactory.h"
#include "OpenGL/glView/GLView.h"
#include "UiHooks.h"
#include "commands/FileCommands.h"
#include "commands/MergeMesh.h"
#include "commands/SaveParts.h"
#include "io/OutputFile.h"

namespace {

const QStringList kLoadSuffixes = {"xyz", "xyzc", "asc", "pts", "psl", "stl", "ply", "scn", "json"};

}  // namespace

namespace {

// "*.xyz *.stl": the patterns as the user reads them. The file dialog matches them
// without regard to case (see ui::getOpenFileNames).
QString patterns(const QStringList& suffixes) {
    QStringList list;
    for (const QString& s : suffixes)
        list << "*." + s;
    return list.join(' ');
}

// Where a file dialog opens: the first of the folders the user worked in that is known,
// else the home folder (never the file system's root).
QString startFolder(const QStringList& folders) {
    for (const QString& folder : folders)
        if (!folder.isEmpty()) return folder;
    return QDir::homePath();
}

}  // namespace

QString MainWindow::loadFilter() {
    return tr("All supported") + " (" + patterns(kLoadSuffixes) + ");;" + tr("Pointclouds") + " (" +
           patterns({"xyz", "xyzc", "asc", "pts", "psl"}) + ");;" + tr("STL-Mesh") + " (" +
           patterns({"stl"}) + ");;" + tr("PLY (cloud or mesh)") + " (" + patterns({"ply"}) +
           ");;" + tr("HLV-Scandata") + " (" + patterns({"scn"}) + ");;" + tr("Fit result") + " (" +
           patterns({"json"}) + ")";
}

void MainWindow::on_actionLoadFile_triggered() {
    if (pendingFiles_.isEmpty()) {
        QString filter = settings_.loadFilter;
        const QStringList chosen = ui::getOpenFileNames(
            this, tr("Open file"), startFolder({settings_.loadPath}), loadFilter(), &filter);
        settings_.loadFilter = filter;
        if (chosen.isEmpty()) return;
        pendingFiles_ = chosen;
    }
    pendingFiles_.removeAll(QString());
    if (pendingFiles_.isEmpty()) return;
    for (const QString& name : pendingFiles_) {
        std::printf("file: %s\n", name.toLocal8Bit().constData());
    }
    std::fflush(stdout);
    settings_.loadPath = QFileInfo(pendingFiles_.first()).absolutePath();
    const bool wasEmpty = view_->scene().objects().empty();

    {
        ProgressWait wait(this, tr("Loading data..."), ProgressWait::Kind::kFile, scale_);
        for (const QString& fileName : pendingFiles_) {
            if (wait.wasCanceled()) break;
            loadOneFile(fileName, wait);
        }
    }
    pendingFiles_.clear();
    view_->setFocus();
    view_->scene().updateBoundingBox();
    if (wasEmpty && !view_->scene().objects().empty()) view_->fit2view(GLCamera::kFront);
    view_->update();
    std::printf("loaded: %d objects\n", static_cast<int>(view_->scene().objects().size()));
    std::fflush(stdout);
}

void MainWindow::loadOneFile(const QString& fileName, ProgressWait& wait) {
    const QFileInfo info(fileName);
    const QString suffix = info.suffix().toLower();
    if (suffix == "json") {
        loadFitResult(fileName);
        return;
    }
    const alg3D::Color color = objectColor(objectCounter_);
    ++objectCounter_;
    QProgressDialog& dialog = wait.dialog();
    dialog.setWindowTitle(tr("Load point data"));
    dialog.setRange(0, 100);
    dialog.setValue(0);
    // A save's temporary file goes on to the load, which says what it is.
    if (!kLoadSuffixes.contains(suffix) &&
        !tessaro::io::isTemporaryFileName(fileName.toLocal8Bit().toStdString())) {
        ui::warning(this, tr("Load data"), tr("Unknown file format: ") + fileName);
        return;
    }
    if (suffix == "scn") dialog.setRange(0, 0);  // busy indicator
    if (suffix == "stl") dialog.setLabelText(tr("Load STL data"));

    runGuarded(this, tr("Load data"), [&] {
        tessaro::commands::LoadedData data;
        const auto status = tessaro::commands::loadFile(fileName.toLocal8Bit().toStdString(), data,
                                                        wait.callback());
        dialog.setLabelText(tr("Loading data..."));
        if (status == tessaro::commands::JobStatus::kAborted || wait.wasCanceled()) {
            ui::warning(this, tr("Load data"), tr("Loading aborted."));
            return;
        }
        // A mesh's coincident corners are merged on the worker too, behind the same
        // progress dialog: the window keeps answering on large meshes.
        std::vector<alg3D::Vec3d> vertices;
        std::vector<std::uint64_t> indices;
        if (!data.meshIndices.empty()) {
            // A PLY mesh comes indexed already: its own vertices are kept as they are.
            vertices = std::move(data.meshVertices);
            indices = std::move(data.meshIndices);
        } else if (data.kind == tessaro::commands::DataKind::kMesh) {
            dialog.setLabelText(tr("Load STL data"));
            if (tessaro::commands::mergeMesh(data.points, vertices, indices, wait.callback()) ==
                    tessaro::commands::JobStatus::kAborted ||
                wait.wasCanceled()) {
                ui::warning(this, tr("Load data"), tr("Loading aborted."));
                return;
            }
        }
        view_->makeCurrent();
        std::unique_ptr<GLBaseObject> object;
        switch (data.kind) {
            case tessaro::commands::DataKind::kColoredPoints: {
                auto cloud = std::make_unique<GLObjPntsColored>();
                cloud->setPoints(std::move(data.coloredPoints));
                if (!data.normals.empty()) cloud->setNormals(std::move(data.normals));
                object = std::move(cloud);
                break;
            }
            case tessaro::commands::DataKind::kMesh: {
                auto mesh = std::make_unique<GLObjSTL>();
                mesh->setMesh(std::move(vertices), std::move(indices));
                object = std::move(mesh);
                break;
            }
            default: {
                auto cloud = std::make_unique<GLObjPnts>();
                cloud->setPoints(std::move(data.points));
                if (!data.normals.empty()) cloud->setNormals(std::move(data.normals));
                object = std::move(cloud);
                break;
            }
        }
        // Scene clouds hold no further per-point values; say which ones were not taken.
        for (const tessaro::io::PlyScalarField& field : data.scalarFields) {
            std::printf("per-point values not shown: %s\n", field.name.c_str());
        }
        object->setName(info.fileName().toStdString());
        object->setColor(color);
        view_->doneCurrent();
        objects_->addObject(std::move(object));
    });
}

void MainWindow::loadFitResult(const QString& fileName) {
    // A fit result written by `tessaro-cli fit --json` becomes its primitive object; a
    // file that holds none leaves the scene as it was.
    runGuarded(this, tr("Load data"), [&] {
        view_->makeCurrent();
        std::unique_ptr<GLBaseObject> object;
        try {
            object = loadPrimitiveObject(fileName.toLocal8Bit().toStdString());
        } catch (...) {
            view_->doneCurrent();
            throw;
        }
        object->setName(QFileInfo(fileName).fileName().toStdString());
        view_->doneCurrent();
        objects_->addObject(std::move(object));
    });
}

void MainWindow::on_actionSaveFile_triggered() {
    using tessaro::commands::DataKind;
    std::vector<GLBaseObject*> selected;
    int meshes = 0;
    for (const auto& object : view_->scene().objects()) {
        if (!object->isSelected()) continue;
        if (object->getObjectType() == GLBaseObject::kPointCloud) selected.push_back(object.get());
        if (object->getObjectType() == GLBaseObject::kMesh) {
            selected.push_back(object.get());
            ++meshes;
        }
    }
    if (selected.empty()) {
        ui::warning(this, tr("Save data"), tr("Please select pointcloud(s) to save."));
        return;
    }
    QString filter = tr("Pointcloud") + " (*.xyz);;" + tr("Pointcloud") + " (*.xyzc)";
    if (meshes == static_cast<int>(selected.size())) {
        filter += ";;" + tr("Binary STL-Mesh") + " (*.stl)";
    }
    filter += ";;" + tr("PLY (cloud or mesh)") + " (*.ply)";
    const QString proposed =
        QFileInfo(QString::fromStdString(selected.front()->getName())).completeBaseName();
    const QString folder = startFolder({settings_.savePath, settings_.loadPath});
    QString selectedFilter = settings_.saveFilter;
    const QString fileName = ui::getSaveFileName(
        this, tr("Save data"), QDir(folder).filePath(proposed), filter, &selectedFilter);
    settings_.saveFilter = selectedFilter;
    if (fileName.isEmpty()) return;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != "xyz" && suffix != "xyzc" && suffix != "stl" && suffix != "ply") {
        ui::warning(this, tr("Save data"), tr("Unknown file format!"));
        return;
    }
    settings_.savePath = QFileInfo(fileName).absolutePath();

    // Every selected object in scene order into one file; the existing file is replaced
    // only when all of them were written.
    std::vector<tessaro::commands::SavePart> parts;
    std::list<std::vector<alg3D::Vec3d>> meshCorners;  // kept while the parts are written
    for (GLBaseObject* object : selected) {
        tessaro::commands::SavePart part;
        part.color = object->getColor();
        if (auto* colored = dynamic_cast<GLObjPntsColored*>(object)) {
            part.kind = DataKind::kColoredPoints;
            part.coloredPoints = &colored->getPoints();
            part.normals = &colored->getNormals();
        } else if (auto* uniform = dynamic_cast<GLObjPntsUniform*>(object)) {
            part.kind = DataKind::kColoredPoints;
            part.coloredPoints = &uniform->getPoints();
            part.shownColors = &uniform->getCodedColors();  // a colour coding, as shown
            part.normals = &uniform->getNormals();
        } else if (auto* plain = dynamic_cast<GLObjPnts*>(object)) {
            part.kind = DataKind::kPoints;
            part.points = &plain->getPoints();
            part.shownColors = &plain->getCodedColors();
            part.normals = &plain->getNormals();
        } else if (auto* mesh = dynamic_cast<GLObjSTL*>(object)) {
            // The commands take a mesh as its triangle soup; in a point file they write
            // the mesh's vertices, not its corners.
            part.kind = DataKind::kMesh;
            meshCorners.push_back(mesh->corners());
            part.points = &meshCorners.back();
        } else {
            continue;
        }
        parts.push_back(part);
    }
    ProgressWait wait(this, tr("Saving data..."), ProgressWait::Kind::kFile, scale_);
    runGuarded(this, tr("Save data"), [&] {
        tessaro::commands::saveParts(fileName.toLocal8Bit().toStdString(), parts, wait.callback());
    });
}

void MainWindow::actionScreenshot_triggered() {
    view_->update();
    const QImage image = view_->grabFramebuffer();
    QString filter;
    const QString fileName = ui::getSaveFileName(
        this, tr("Save Screenshot"), startFolder({settings_.saveSnapShot}),
        tr("Portable Network Graphics") + " (*.png);;" + tr("Windows Bitmap") + " (*.bmp)",
        &filter);
    if (fileName.isEmpty()) return;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (!image.save(fileName, suffix == "bmp" ? "BMP" : "PNG")) {
        ui::critical(this, tr("Save Screenshot"), tr("The image could not be written."));
        return;
    }
    settings_.saveSnapShot = QFileInfo(fileName).absolutePath();
}
