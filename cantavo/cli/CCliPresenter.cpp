#include "CCliPresenter.h"

#include "CLast.h"

#include <cstdio>
#include <unistd.h>

namespace {

void Print(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = plain.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}

} // namespace

CCliPresenter::CCliPresenter(CCliArguments::Answer answer) : m_answer(answer) {
    CLast::InitFusion(this);
}

CCliPresenter::~CCliPresenter() {
    if (&CLast::Fusion() == this) {
        CLast::InitFusion(nullptr);
    }
}

int CCliPresenter::ShowMessage(QString text, unsigned int style, QString) {
    m_shown << text;
    if (style != MB_YESNO && style != MB_OKCANCEL) {
        // The progress line may stand where the message goes: start it on a line of its own.
        if (::isatty(STDERR_FILENO) == 1) {
            std::fputs("\r\033[K", stderr);
        }
        Print(text);
        return IDOK;
    }
    Print(text);
    return Answer(style);
}

int CCliPresenter::Answer(unsigned int style) {
    const bool yesNo = style == MB_YESNO;
    const int yes = yesNo ? IDYES : IDOK;
    const int no = yesNo ? IDNO : IDCANCEL;
    if (m_answer == CCliArguments::Answer::Yes) {
        std::fputs(yesNo ? "  -> はい (--yes)\n" : "  -> OK (--yes)\n", stderr);
        return yes;
    }
    if (m_answer == CCliArguments::Answer::No) {
        std::fputs(yesNo ? "  -> いいえ (--no)\n" : "  -> キャンセル (--no)\n", stderr);
        return no;
    }
    if (::isatty(STDIN_FILENO) != 1) {
        std::fputs("  -> no terminal to ask on: refused (answer with --yes or --no)\n", stderr);
        return no;
    }
    for (;;) {
        std::fputs(yesNo ? "  [y = はい / n = いいえ] " : "  [y = OK / n = キャンセル] ", stderr);
        std::fflush(stderr);
        char line[64] = {};
        if (std::fgets(line, sizeof line, stdin) == nullptr) {
            std::fputs("\n  -> refused\n", stderr);
            return no;
        }
        if (line[0] == 'y' || line[0] == 'Y') {
            return yes;
        }
        if (line[0] == 'n' || line[0] == 'N') {
            return no;
        }
    }
}

void CCliPresenter::ShowWaiting(QWidget*, bool) {}
