#pragma once

#include <QString>

class CManage;
struct VESK_DATA;

// The ".mdf" files of the program folder that keep favourite settings: three favourites and
// the settings at the last orderly exit. What the main frame's menu reads, writes and tests.
class CFavouriteFile {
public:
    static const QString kLastExit; // "loadSetting"
    static const QString kFavourite1;
    static const QString kFavourite2;
    static const QString kFavourite3;

    // The file of a favourite named without its extension.
    static QString Path(const QString& name);
    // The favourite's record as the file holds it, unchecked; false when it cannot be read.
    static bool Read(const QString& name, VESK_DATA& data);
    // Applies the favourite to the shared state; false when the file could not be read
    // (shown with report). A file shorter than a record leaves the rest at the defaults; a
    // refused version is shown by the manager.
    static bool Load(CManage& manage, const QString& name, bool report);
    // Writes the current settings as the favourite. The file is replaced in one step: a crash
    // or a full disk leaves the previous favourite whole. False (shown with report) when it
    // could not be written.
    static bool Save(CManage& manage, const QString& name, bool report);
    // Whether the favourite can be read, for enabling its menu item.
    static bool Exists(const QString& name);
};
