#pragma once

#include "CBase.h"

#include <QString>
#include <cstdint>

// Result codes of every fallible engine and audio operation. Callers test the code, never the
// text; codes add up arithmetically under operator+=, so the type has a fixed 32-bit base.
enum E_ERR_VESK : std::int32_t {
    ERR_VESK_NO_DATA = -1,     // nothing to act on; traced, never shown
    ERR_VESK_OK = 0,           // success
    ERR_VESK_REFUSED = 1,      // refused, declined by the user, or already reported
    ERR_VESK_FAILED = 2,       // device or file failure with a message to show
    ERR_VESK_THREAD_START = 5, // a worker thread could not be started
    ERR_VESK_MIDI_SAVE = 6,    // a finished MIDI recording could not be saved
    ERR_VESK_PAST_END = 8,     // fast-forward ran past the end and was clamped
};

// The value every fallible operation returns: a code (0 = success) and a message for the user.
class CVeskError : public CBase {
public:
    CVeskError();
    // The first two texts are accepted for compatibility with callers that pass them; nothing
    // reads them and copies do not carry them.
    CVeskError(const QString& first, const QString& second, E_ERR_VESK code, const QString& text);
    CVeskError(const CVeskError& other);
    ~CVeskError() override;

    // The int results of the assignments carry no information.
    int operator=(const CVeskError& other);
    int operator=(const QString& text);
    int operator=(E_ERR_VESK code);
    int operator+=(const CVeskError& other);

    bool operator==(E_ERR_VESK code) const { return m_code == code; }
    bool operator!=(E_ERR_VESK code) const { return m_code != code; }
    bool operator==(int code) const { return m_code == code; }
    bool operator!=(int code) const { return m_code != code; }

    E_ERR_VESK GetCode() const { return m_code; }
    QString GetStr() const { return m_text; }
    void SetCode(E_ERR_VESK code, const QString& text);

private:
    E_ERR_VESK m_code = ERR_VESK_OK;
    QString m_text;
    QString m_first;
    QString m_second;
};
