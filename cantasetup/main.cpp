#include "CSetupLauncher.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler g_qtHandler = nullptr;

// Without a desktop Qt cannot start and ends the process with an abort; the launcher ends
// with status 0 whatever happens, so it says on the terminal what it would have shown.
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        g_qtHandler(type, context, text);
        return;
    }
    std::fprintf(stderr,
                 "Cantasetup: %s\nCantasetup: no desktop to show the installer on; install the "
                 "package with: sudo apt install ./%s\n",
                 text.toLocal8Bit().constData(),
                 QFile::encodeName(CSetupLauncher::PackageFile()).constData());
    std::fflush(stderr);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    g_qtHandler = qInstallMessageHandler(OnQtMessage);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    CSetupLauncher launcher(CSystemCheck::Current());
    return launcher.Run();
}
