#include "panels/PanelLayout.h"

#include <QHeaderView>
#include <QLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ComputationRunner.h"
#include "panels/ToolWidget.h"

ControlsScrollArea::ControlsScrollArea(QWidget* controls, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(controls);
}

QSize ControlsScrollArea::sizeHint() const {
    const QSize content = widget() ? widget()->sizeHint() : QSize();
    return QSize(QScrollArea::sizeHint().width(), content.height() + 2 * frameWidth());
}

QSize ControlsScrollArea::minimumSizeHint() const {
    return QSize(QScrollArea::minimumSizeHint().width(), 4 * fontMetrics().height());
}

void compactLayout(QLayout* layout, double scale) {
    const int m = static_cast<int>(4 * scale);
    layout->setContentsMargins(m, m, m, m);
    layout->setSpacing(static_cast<int>(2 * scale));
}

QWidget* newControls(ToolWidget* panel, QVBoxLayout*& layout) {
    auto* controls = new QWidget(panel->body());
    layout = new QVBoxLayout(controls);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(static_cast<int>(3 * panel->scale()));
    return controls;
}

ResultsArea addResultsArea(ToolWidget* panel, QWidget* controls, const char* computeName,
                           QWidget* legend) {
    QWidget* body = panel->body();
    auto* scroll = new ControlsScrollArea(controls, body);
    scroll->setObjectName("scrollAreaControls");
    panel->bodyLayout()->addWidget(scroll, 3);
    if (legend) panel->bodyLayout()->addWidget(legend);

    ResultsArea area;
    area.table = new TableWidget(body);
    area.table->setObjectName("tableWidget");
    area.table->horizontalHeader()->hide();
    area.table->verticalHeader()->hide();
    area.table->setMinimumHeight(static_cast<int>(100 * panel->scale()));
    panel->bodyLayout()->addWidget(area.table, 1);

    area.compute = new QPushButton(QObject::tr("Compute"), body);
    area.compute->setObjectName(computeName);
    panel->bodyLayout()->addWidget(area.compute);
    return area;
}
