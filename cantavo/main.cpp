#include "CAboutText.h"
#include "CLast.h"
#include "CTrace.h"
#include "CVeskToy.h"
#include "mmsystemx.h"

#include <QDir>
#include <cstdio>

int main(int argc, char** argv) {
    // The virtual ZQ31 with --virtual-piano (or CANTAVO_DEVICES=virtual), else the machine's
    // own devices.
    mmxChooseDevices(argc, argv);

    // Working files are made relative to the current directory; they belong in the program
    // folder, never in the folder the user started the program from.
    const QString home = CVeskToy().GenuinePath();
    if (!QDir().mkpath(home) || !QDir::setCurrent(home)) {
        std::fprintf(stderr, "Cantavo: cannot use the program folder %s\n",
                     QFile::encodeName(home).constData());
        return 1;
    }

    const QString about = CAboutText::Text();
    CLast::Trace() << "Application Main Thread."
                   << "\n"
                   << about << "\n\n";

    // Until the main window exists the program shows what it is made of and ends.
    const QByteArray text = CAboutText::ForTerminal(about).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
    std::printf("Devices: %s\n", mmxBackendName().c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
