#pragma once

#include <QString>
#include <atomic>
#include <mutex>

class QDateTime;

// The transport state of a take.
enum SOUND_STATUS : int {
    SOUND_PLAY = 0,
    SOUND_REC = 1,
    SOUND_STOP = 2,
};

// Whether a take's file holds content that has not been saved to the album.
enum MODIFIED_FLAG : int {
    MODIFIED_CLEAN = 0,
    MODIFIED_DIRTY = 1,
};

// The record of the current take of one kind (the MIDI take or the audio take): its file, its
// transport state and whether it holds unsaved content. A new take is named in the temporary
// folder; saving moves it into the album under the name the user chooses. Whether and how to
// save unsaved content is the application's decision, made in OnSaveFileDefine.
//
// Failures are shown through the registered presenter and returned as 0; a failed save never
// loses the take. The window thread changes a record; device threads may read its state and
// name while it does.
class CSoundFile {
public:
    // extension includes the dot (".mid", ".wav"). Makes sure the data and temporary folders
    // exist.
    explicit CSoundFile(const QString& extension);
    CSoundFile(const CSoundFile& other);
    CSoundFile& operator=(const CSoundFile& other);
    virtual ~CSoundFile();

    QString GetFileName() const;
    // Offers to save unsaved content first, then takes path as the take when it can be read;
    // 1 when it was taken, 0 when the record was emptied or the user backed out of the
    // question (then the record, its file and its flag stay as they were).
    int SetFileName(const QString& path);
    // Offers to save unsaved content first; unless the user backed out, names a fresh take
    // in the temporary folder after the current time and returns that name (empty otherwise).
    QString MakeFileName();
    // 1 when there is no file name or the file is there; 0 (and the record emptied) when the
    // named file has vanished.
    int IsExist();
    void Changed() { m_flag = MODIFIED_DIRTY; }
    MODIFIED_FLAG GetFileFlag() const { return m_flag; }
    SOUND_STATUS GetSoundStatus() const { return m_status; }
    void SetSoundStatus(SOUND_STATUS status) { m_status = status; }
    QString GetExtension() const { return m_extension; }
    int SaveFileDefine(int ask) { return OnSaveFileDefine(ask); }
    // Deletes the take's file and empties the record; 1 also when the file was already gone.
    int DeleteFileA();

    // The name MakeFileName gives a take started at the given local time.
    QString FileNameAt(const QDateTime& time) const;

protected:
    // Must return 1 at once when nothing is unsaved. Otherwise: save (SaveFile, 1), discard
    // (DeleteFileA, 1), or back out (0, nothing changed). ask 0 first asks whether to keep the
    // content; ask 1 goes straight to choosing a name.
    virtual int OnSaveFileDefine(int ask) = 0;
    // Moves the take to target, asking before replacing anything that stands there (readable
    // or not); without a yes nothing is replaced. 1 on success.
    int SaveFile(const QString& target);

private:
    void SetName(const QString& name);

    QString m_extension;
    std::atomic<SOUND_STATUS> m_status{SOUND_STOP};
    std::atomic<MODIFIED_FLAG> m_flag{MODIFIED_CLEAN};
    mutable std::mutex m_nameLock;
    QString m_fileName;
};
