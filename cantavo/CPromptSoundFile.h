#pragma once

#include "CSoundFile.h"

#include <QString>
#include <functional>

class CSaveNameDlg;
class QWidget;

// The record of a take as the program keeps it: before unsaved content would be lost, it asks
// whether to keep it ("ＭＩＤＩファイル" or "オーディオファイル" + the question) and lets the
// player name it for the album; "No" discards it, backing out of the name keeps everything.
class CPromptSoundFile : public CSoundFile {
public:
    // The kind label is chosen by the extension: ".mid" the MIDI take, otherwise audio.
    explicit CPromptSoundFile(const QString& extension);
    ~CPromptSoundFile() override;

    QString KindLabel() const { return m_kind; }
    // The window the save-name dialog belongs to (the active window when none is set).
    void SetDialogParent(QWidget* parent) { m_parent = parent; }

protected:
    int OnSaveFileDefine(int ask) override;

private:
    QString m_kind;
    QWidget* m_parent = nullptr;
};
