#include "CCliArguments.h"
#include "CCliCommands.h"
#include "CCliPresenter.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const CCliArguments arguments = CCliArguments::Parse(application.arguments().mid(1));
    if (arguments.Ok() && arguments.VirtualPiano()) {
        mmxUseVirtualPiano();
    } else {
        mmxChooseDevices(argc, argv);
    }
    CCliPresenter presenter(arguments.Answers());
    const int status = CCliCommands(arguments, presenter).Run();
    return std::fflush(stdout) == 0 ? status : 1;
}
