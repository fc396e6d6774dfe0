#pragma once

#include <QElapsedTimer>
#include <QString>

// Progress of long work on stdout: one line rewritten in place on a terminal; otherwise a
// plain line whenever the text changes, at most one a second, so logs stay readable.
class CCliProgress {
public:
    CCliProgress();
    ~CCliProgress();

    void Update(const QString& text);
    // Ends the line; the last text stays visible.
    void End();

    // "L ▮▮▮▯▯ R ▮▮▯▯▯" from the engine's level steps 0..20.
    static QString Meter(unsigned int left, unsigned int right);
    // "[#########.........]  45 %" for a fraction 0..1.
    static QString Bar(double fraction);

private:
    bool m_terminal;
    bool m_open = false;
    QString m_last;
    QElapsedTimer m_sinceLine;
};
