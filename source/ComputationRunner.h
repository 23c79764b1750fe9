// The GUI side of long operations: a modal progress dialog with "Abort" that the command
// layer's runner (commands/JobRunner.h) polls while the work runs on its worker thread,
// the guard that turns exceptions into message boxes, and the results table.
//
// Algorithm runs show the dialog only after 2000 ms; file runs show it at once. The poll
// callback moves the bar when the progress grew, processes pending events (the window
// stays responsive) and reports "Abort"; the runner joins the worker on every path and
// rethrows the worker's exception on the GUI thread.
//
// While a ProgressWait exists, the window it belongs to takes no user input (keys, clicks,
// drops, closing): the first two seconds of a run have no dialog to make the window modal,
// and a click on "remove" or a second command then would pull the data from under the
// running job. The view still zooms with the wheel, and other windows (the progress
// dialog, message boxes) answer as usual.
#pragma once

#include <QProgressDialog>
#include <QString>
#include <QTableWidget>
#include <functional>
#include <memory>

#include "commands/JobRunner.h"

class ProgressWait {
  public:
    enum class Kind { kComputation, kFile };

    ProgressWait(QWidget* parent, const QString& label, Kind kind, double scale);
    ~ProgressWait();

    // The poll callback for commands::runJob and the file commands.
    tessaro::commands::PollCallback callback();
    bool wasCanceled() const;
    QProgressDialog& dialog() { return *dialog_; }

  private:
    std::unique_ptr<QProgressDialog> dialog_;
    std::unique_ptr<QObject> inputGuard_;
};

// A text of the command layer (a check's warning, an exception's text) in the window's
// language: the window translates the command layer's texts in the MainWindow context. A
// known text followed by ": " and a name (file name, suffix) keeps the name; unknown
// texts stay as they are.
QString commandText(const QString& text);

// Runs `command`; a std::exception becomes a critical box titled `title` with its text
// (through commandText), anything else "Unknown error!". False when something was thrown.
bool runGuarded(QWidget* parent, const QString& title, const std::function<void()>& command);

// Results table: not editable, no grid, last column stretched; a right click on a
// selection offers "copy", which puts the selected cells on the clipboard (cells of a row
// separated by tabs, rows by newlines).
class TableWidget : public QTableWidget {
    Q_OBJECT

  public:
    explicit TableWidget(QWidget* parent = nullptr);

    // Fills two columns from a result text split at ":", tab and newline.
    void setResultText(const QString& text);
    // The text "copy" puts on the clipboard.
    QString selectionText() const;

  public slots:
    void copy();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};
