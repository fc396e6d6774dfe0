#include "CAboutText.h"
#include "CLast.h"
#include "CTrace.h"

#include <cstdio>

int main(int, char**) {
    const QString about = CAboutText::Text();
    CLast::Trace() << "Application Main Thread."
                   << "\n"
                   << about << "\n\n";

    // Until the main window exists the program shows what it is made of and ends.
    const QByteArray text = CAboutText::ForTerminal(about).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
