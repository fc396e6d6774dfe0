#include "TestHome.h"
#include "QtPrinters.h"

#include <QDir>
#include <cstdlib>

namespace {
QString g_home;
}

void SetTestHome(const QString& home) {
    g_home = home;
}

QString TestHome() {
    return g_home;
}

QString MakeTestFolder(const QString& name) {
    QDir folder(g_home + QLatin1Char('/') + name);
    folder.removeRecursively();
    QDir().mkpath(folder.path());
    return folder.path();
}
