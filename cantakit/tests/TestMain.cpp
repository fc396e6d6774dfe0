#include "TestHome.h"

#ifdef CANTAVO_GUI_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

void SetTestHome(const QString& home);

// Every test process works in a program folder of its own, so that tests never see each
// other's files nor the user's.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Windows under test never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const QByteArray parent = qgetenv("CANTAVO_HOME");
    const QString base = parent.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(parent);
    QDir().mkpath(base);
    QTemporaryDir home(base + QStringLiteral("/run-XXXXXX"));
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a test folder below %s\n", qPrintable(base));
        return 2;
    }
    qputenv("CANTAVO_HOME", QFile::encodeName(home.path()));
    // The application profile goes into the test folder too, never into the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    SetTestHome(home.path());
    TestApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
