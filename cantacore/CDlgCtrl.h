#pragma once

#include <QObject>
#include <atomic>

// The windows that the shared state tells about changes. Each is any receiver of window
// messages; an empty slot, or a window that is not a receiver (yet), is simply not told.
// Set on the window thread, read from any thread.
class CDlgCtrl {
public:
    CDlgCtrl() = default;
    CDlgCtrl(const CDlgCtrl&) = delete;
    CDlgCtrl& operator=(const CDlgCtrl&) = delete;
    virtual ~CDlgCtrl();

    void SetUserMenu(QObject* window) { m_userMenu = window; }
    QObject* GetUserMenu() const { return m_userMenu; }
    void SetReverb(QObject* window) { m_reverb = window; }
    QObject* GetReverb() const { return m_reverb; }
    void SetConpane(QObject* window) { m_conpane = window; }
    QObject* GetConpane() const { return m_conpane; }
    void SetMetronomeDlg(QObject* window) { m_metronomeDlg = window; }
    QObject* GetMetronomeDlg() const { return m_metronomeDlg; }
    void SetStereo(QObject* window) { m_stereo = window; }
    QObject* GetStereo() const { return m_stereo; }
    void SetTimbreIcon(QObject* window) { m_timbreIcon = window; }
    QObject* GetTimbreIcon() const { return m_timbreIcon; }
    void SetDualIcon(QObject* window) { m_dualIcon = window; }
    QObject* GetDualIcon() const { return m_dualIcon; }
    void SetReverbIcon(QObject* window) { m_reverbIcon = window; }
    QObject* GetReverbIcon() const { return m_reverbIcon; }
    void SetStereoIcon(QObject* window) { m_stereoIcon = window; }
    QObject* GetStereoIcon() const { return m_stereoIcon; }
    void SetMetronomeIcon(QObject* window) { m_metronomeIcon = window; }
    QObject* GetMetronomeIcon() const { return m_metronomeIcon; }
    void SetKeyboard(QObject* window) { m_keyboard = window; }
    QObject* GetKeyboard() const { return m_keyboard; }
    void SetDancingNote(QObject* window) { m_dancingNote = window; }
    QObject* GetDancingNote() const { return m_dancingNote; }
    void SetFrosted(QObject* window) { m_frosted = window; }
    QObject* GetFrosted() const { return m_frosted; }

private:
    std::atomic<QObject*> m_userMenu{nullptr};
    std::atomic<QObject*> m_reverb{nullptr};
    std::atomic<QObject*> m_conpane{nullptr};
    std::atomic<QObject*> m_metronomeDlg{nullptr};
    std::atomic<QObject*> m_stereo{nullptr};
    std::atomic<QObject*> m_timbreIcon{nullptr};
    std::atomic<QObject*> m_dualIcon{nullptr};
    std::atomic<QObject*> m_reverbIcon{nullptr};
    std::atomic<QObject*> m_stereoIcon{nullptr};
    std::atomic<QObject*> m_metronomeIcon{nullptr};
    std::atomic<QObject*> m_keyboard{nullptr};
    std::atomic<QObject*> m_dancingNote{nullptr};
    std::atomic<QObject*> m_frosted{nullptr};
};
