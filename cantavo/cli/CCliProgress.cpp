#include "CCliProgress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

CCliProgress::CCliProgress() : m_terminal(::isatty(STDOUT_FILENO) == 1) {}

CCliProgress::~CCliProgress() {
    End();
}

void CCliProgress::Update(const QString& text) {
    if (text == m_last) {
        return;
    }
    if (m_terminal) {
        std::printf("\r%s\033[K", text.toUtf8().constData());
        m_open = true;
    } else {
        if (m_sinceLine.isValid() && m_sinceLine.elapsed() < 1000) {
            return;
        }
        std::printf("%s\n", text.toUtf8().constData());
        m_sinceLine.start();
    }
    m_last = text;
    std::fflush(stdout);
}

void CCliProgress::End() {
    if (m_open) {
        std::fputc('\n', stdout);
        std::fflush(stdout);
        m_open = false;
    }
}

QString CCliProgress::Meter(unsigned int left, unsigned int right) {
    const auto cells = [](unsigned int level) {
        const unsigned int lit = (std::min(level, 20u) + 3) / 4;
        QString text;
        for (unsigned int i = 0; i < 5; ++i) {
            text += i < lit ? QChar(0x25AE) : QChar(0x25AF);
        }
        return text;
    };
    return QStringLiteral("L %1 R %2").arg(cells(left), cells(right));
}

QString CCliProgress::Bar(double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int width = 30;
    const int lit = static_cast<int>(fraction * width + 0.5);
    return QStringLiteral("[%1%2] %3 %")
        .arg(QString(lit, QLatin1Char('#')), QString(width - lit, QLatin1Char('.')))
        .arg(static_cast<int>(fraction * 100 + 0.5), 3);
}
