#pragma once

#include "CCliTake.h"
#include "CMessageReceiver.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class CManage;
class QSocketNotifier;

// The engine as the window starts it, on the command line: the program folder, the manager
// with its two takes, the settings of the last exit, the workers, the whole state pushed to
// the piano. It stands in the place of the recorder window, so it hears the level meter and
// the end of a take the way that window does. Ctrl-C (SIGINT), SIGTERM and SIGHUP end the
// current wait instead of the process, so a take is always stopped and saved properly.
class CCliSession : public CMessageReceiver<QObject> {
public:
    enum class Ended { Done, Interrupted, TimeUp };

    CCliSession();
    ~CCliSession() override;

    // False (said on stderr) when the program folder cannot be used.
    bool Start();
    // Waits a little for the device watch to find the piano; false when it is not there.
    bool WaitForPiano();
    // Handles the engine's messages until done() holds, a signal arrives or the seconds are
    // up, showing progress() meanwhile (when given) a few times a second.
    Ended RunUntil(const std::function<bool()>& done, std::optional<double> seconds,
                   const std::function<void()>& progress = {});
    // Keeps the settings as those of the last exit and ends the engine; false when a take
    // could not be saved (it is kept in the temporary folder, and said so).
    bool Finish();

    CManage& Manage() { return *m_manage; }
    CCliTake& Midi() { return m_midi; }
    CCliTake& Audio() { return m_audio; }
    unsigned int LeftLevel() const { return m_left; }
    unsigned int RightLevel() const { return m_right; }
    bool Interrupted() const;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // For tests and demos: with the virtual ZQ31 and CANTAVO_VIRTUAL_LOG set, every MIDI
    // message the piano received is appended to that file, one message a line in hex.
    void WriteVirtualPianoLog();

    std::unique_ptr<CManage> m_manage;
    CCliTake m_midi{QStringLiteral(".mid")};
    CCliTake m_audio{QStringLiteral(".wav")};
    std::unique_ptr<QSocketNotifier> m_signals;
    unsigned int m_left = 0;
    unsigned int m_right = 0;
    bool m_finished = false;
};
