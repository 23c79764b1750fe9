// Entry of the workbench program; the program itself is runWorkbench (Workbench.cpp).
#include <QByteArray>

#include "Workbench.h"

int main(int argc, char* argv[]) {
    WorkbenchOptions options;
    // Tests run several instances side by side under their own key.
    const QByteArray keyOverride = qgetenv("TESSARO_INSTANCE_KEY");
    if (!keyOverride.isEmpty()) options.instanceKey = QString::fromLocal8Bit(keyOverride);
    return runWorkbench(argc, argv, options);
}
