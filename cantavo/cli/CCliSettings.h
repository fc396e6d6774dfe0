#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class CManage;

// The shared state's settings by readable names and values, for `settings show` and `set`.
// A change is checked completely before any is applied.
class CCliSettings {
public:
    // Every setting as name=value, in a fixed order.
    static QStringList Show(CManage& manage);
    // Checks NAME=VALUE words; the empty text when all are good, else what is wrong.
    static QString Check(const QStringList& assignments);
    // Applies checked assignments through the shared state's setters, as the panel would.
    static void Apply(CManage& manage, const QStringList& assignments);

    // The names of the voices, by E_TIMBRE value 0..7.
    static QStringList VoiceNames();
    // A beat by name ("4/4", "none"); -1 when unknown.
    static int BeatFromName(const QString& name);
    static QString BeatName(int beat);
};
