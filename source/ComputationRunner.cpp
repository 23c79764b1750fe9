#include "ComputationRunner.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QPointer>
#include <QRegularExpression>
#include <algorithm>
#include <exception>

#include "UiHooks.h"

namespace {

// Swallows the user's input to one window while a job runs (see the header).
class RunInputGuard : public QObject {
  public:
    explicit RunInputGuard(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~RunInputGuard() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::ContextMenu:
            case QEvent::Wheel:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::TabletPress:
            case QEvent::TouchBegin:
            case QEvent::Close:
                break;
            default:
                return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !window_ || widget->window() != window_) return false;
        if (event->type() == QEvent::Wheel && qobject_cast<QOpenGLWidget*>(widget)) return false;
        event->ignore();
        return true;
    }

  private:
    QPointer<QWidget> window_;
};

}  // namespace

ProgressWait::ProgressWait(QWidget* parent, const QString& label, Kind kind, double scale) {
    if (parent) inputGuard_ = std::make_unique<RunInputGuard>(parent->window());
    dialog_ = std::make_unique<QProgressDialog>(label, QObject::tr("Abort"), 0, 100, parent,
                                                Qt::SplashScreen);
    dialog_->setFixedWidth(static_cast<int>(250 * scale));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAutoClose(false);
    if (kind == Kind::kFile) {
        dialog_->setAutoReset(true);
        dialog_->setMinimumDuration(0);
        dialog_->setValue(0);
        dialog_->show();
    } else {
        dialog_->setAutoReset(false);
        dialog_->setMinimumDuration(2000);
        dialog_->setValue(0);
    }
    ui::progressCreated(dialog_.get());
    QApplication::processEvents();
}

ProgressWait::~ProgressWait() = default;

bool ProgressWait::wasCanceled() const {
    return dialog_->wasCanceled();
}

tessaro::commands::PollCallback ProgressWait::callback() {
    QProgressDialog* dialog = dialog_.get();
    return [dialog](float percent) {
        if (dialog->wasCanceled()) return true;
        const int value = static_cast<int>(percent);
        if (value > dialog->value() && value < dialog->maximum()) dialog->setValue(value);
        QApplication::processEvents();
        ui::progressPolled(dialog);
        return dialog->wasCanceled();
    };
}

QString commandText(const QString& text) {
    const auto known = [](const QString& source, QString& translated) {
        translated = QCoreApplication::translate("MainWindow", source.toUtf8().constData());
        return translated != source;
    };
    QString translated;
    if (known(text, translated)) return translated;
    const int colon = text.indexOf(": ");
    if (colon <= 0) return text;
    const QString name = text.mid(colon + 2);
    if (known(text.left(colon + 2), translated)) return translated + name;
    if (known(text.left(colon), translated)) return translated + ": " + name;
    return text;
}

bool runGuarded(QWidget* parent, const QString& title, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        ui::critical(parent, title, commandText(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        ui::critical(parent, title, QObject::tr("Unknown error!"));
    }
    return false;
}

TableWidget::TableWidget(QWidget* parent) : QTableWidget(parent) {
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setStretchLastSection(true);
    setShowGrid(false);
    setAlternatingRowColors(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void TableWidget::setResultText(const QString& text) {
    QStringList parts = text.split(QRegularExpression("(\\:|\\t|\\n)"));
    if (parts.size() % 2 == 1) parts << QString();
    clear();
    setColumnCount(2);
    setRowCount(parts.size() / 2);
    for (int i = 0; i < parts.size() / 2; ++i) {
        setItem(i, 0, new QTableWidgetItem(parts[2 * i]));
        setItem(i, 1, new QTableWidgetItem(parts[2 * i + 1]));
    }
    resizeColumnsToContents();
    resizeRowsToContents();
}

QString TableWidget::selectionText() const {
    QList<QTableWidgetItem*> items = selectedItems();
    std::sort(items.begin(), items.end(), [](QTableWidgetItem* a, QTableWidgetItem* b) {
        return a->row() != b->row() ? a->row() < b->row() : a->column() < b->column();
    });
    QString text;
    int lastRow = -1;
    for (QTableWidgetItem* item : items) {
        if (lastRow != -1) text += item->row() != lastRow ? "\n" : "\t";
        text += item->text();
        lastRow = item->row();
    }
    return text;
}

void TableWidget::copy() {
    QApplication::clipboard()->setText(selectionText());
}

void TableWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && !selectedItems().isEmpty()) {
        QMenu menu(tr("Context menu"), this);
        menu.addAction(tr("copy"), this, &TableWidget::copy);
        menu.exec(event->globalPos());
        return;
    }
    QTableWidget::mousePressEvent(event);
}
