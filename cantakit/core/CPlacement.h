#pragma once

#include <QString>

class QWidget;

// Keeps a window's position in the application profile (QSettings "Tolvarine"/"Cantavo"), as
// the 56-byte value "Placement" of the given section: the double 0.001 as a format tag, the
// 44-byte window-placement record, four reserved bytes.
class CPlacement {
public:
    static constexpr int kValueSize = 56;
    static constexpr double kTag = 0.001;

    CPlacement() = default;
    virtual ~CPlacement();

    // Stores the window's placement; true.
    int WindowPlacementRegSave(QWidget* window, const QString& section);
    // Moves the window to the stored normal rectangle when the value has this format; true
    // whenever a value was stored, false when there is none.
    int WindowPlacementRegLoad(QWidget* window, const QString& section);
    int WindowPlacementRegShow(QWidget* window, const QString& section, int load);

    // The profile key of the section's value.
    static QString Key(const QString& section);
};
