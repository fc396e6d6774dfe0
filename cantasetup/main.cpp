#include "CSetupLauncher.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CSetupLauncher launcher(CSystemCheck::Current());
    return launcher.Run();
}
