#include "CCliArguments.h"
#include "CCliCommands.h"
#include "CCliPresenter.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const CCliArguments arguments = CCliArguments::Parse(application.arguments().mid(1));
    // --virtual-piano anywhere on the line chooses the virtual ZQ31, as for the window.
    mmxChooseDevices(argc, argv);
    CCliPresenter presenter(arguments.Answers());
    const int status = CCliCommands(arguments, presenter).Run();
    return std::fflush(stdout) == 0 ? status : 1;
}
