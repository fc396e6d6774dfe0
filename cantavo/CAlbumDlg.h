#pragma once

#include "CMessageReceiver.h"
#include "CVeskError.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class CAlbumList;
class CIconWnd;
class CIconWndButton;
class CTextWnd;
class QProgressBar;

// The album, "アルバム": every take in the album folder, in three lists (MIDI, audio,
// compressed). The player picks one to open, deletes one, compresses a WAV, or drops files
// from the desktop's file manager to bring them in. It keeps no index: each refresh lists the
// folder again.
//
// Shown modally by the recorder window with exec(); afterwards GetSelectRec() tells which
// kind of take was opened into the manager.
class CAlbumDlg : public CMessageReceiver<QDialog> {
public:
    enum SELECT_REC { SELECT_NONE = 0, SELECT_MIDI = 1, SELECT_AUDIO = 2 };

    // Messages of the album's buttons and lists.
    static constexpr UINT WM_ALBUM_OPEN = 1086;
    static constexpr UINT WM_ALBUM_TRASH = 1089;
    static constexpr UINT WM_ALBUM_ENCODE = 1090;
    static constexpr UINT WM_ALBUM_DBLCLK = 1092;
    static constexpr UINT WM_ALBUM_CHANGED = 1056;
    static constexpr UINT WM_ALBUM_DROPFILE = 1057;

    explicit CAlbumDlg(QWidget* parent = nullptr);
    ~CAlbumDlg() override;

    // 0 nothing opened, 1 a MIDI take, 2 an audio or compressed take.
    int GetSelectRec() const { return m_selectRec; }

    // For tests and the screen reader: the three lists, the name box, the buttons, the bar.
    CAlbumList* MidiList() const { return m_lists[0]; }
    CAlbumList* AudioList() const { return m_lists[1]; }
    CAlbumList* CompressList() const { return m_lists[2]; }
    CTextWnd* NameText() const { return m_name; }
    CIconWndButton* OpenButton() const { return m_open; }
    CIconWndButton* EncodeButton() const { return m_encode; }
    CIconWndButton* TrashButton() const { return m_trash; }
    QProgressBar* EncodeProgress() const { return m_progress; }

    // Lists the album folder again; does nothing while a refresh runs.
    void Refresh();
    bool IsCompressing() const { return m_compressing; }
    // Closing waits for a running compression to end.
    void reject() override;
    // Imports or compresses dropped files as a drop on list does; the error of the last
    // compression, success when none failed.
    CVeskError DropFiles(CAlbumList* list, const QStringList& paths);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    LRESULT OnChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnOKBtn(WPARAM wParam, LPARAM lParam);
    LRESULT OnListDblclk(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrash(WPARAM wParam, LPARAM lParam);
    LRESULT OnEncode(WPARAM wParam, LPARAM lParam);
    LRESULT OnDropFile(WPARAM wParam, LPARAM lParam);

    void CreateListBox();
    void RefreshWrap();
    void EnableButtons(bool open, bool encode, bool trash);
    CVeskError Compress(const QString& path);

    CAlbumList* m_lists[3] = {};
    CTextWnd* m_name = nullptr;
    CIconWndButton* m_open = nullptr;
    CIconWndButton* m_encode = nullptr;
    CIconWndButton* m_trash = nullptr;
    QProgressBar* m_progress = nullptr;
    int m_selectRec = SELECT_NONE;
    bool m_refreshing = false;
    bool m_refreshAgain = false;
    // A compression runs (its wait keeps handling this window's messages).
    bool m_compressing = false;
};
