#include "CVeskError.h"

CVeskError::CVeskError() = default;

CVeskError::CVeskError(const QString& first, const QString& second, E_ERR_VESK code,
                       const QString& text)
    : m_code(code), m_text(text), m_first(first), m_second(second) {}

CVeskError::CVeskError(const CVeskError& other)
    : CBase(other), m_code(other.m_code), m_text(other.m_text) {}

CVeskError::~CVeskError() = default;

int CVeskError::operator=(const CVeskError& other) {
    m_code = other.m_code;
    m_text = other.m_text;
    return 0;
}

int CVeskError::operator=(const QString& text) {
    m_text = text;
    return 0;
}

int CVeskError::operator=(E_ERR_VESK code) {
    m_code = code;
    return 0;
}

int CVeskError::operator+=(const CVeskError& other) {
    // Wrapping addition: codes are small, but an overflow must not be undefined.
    m_code = static_cast<E_ERR_VESK>(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(m_code) + static_cast<std::uint32_t>(other.m_code)));
    m_text += other.m_text;
    return 0;
}

void CVeskError::SetCode(E_ERR_VESK code, const QString& text) {
    m_code = code;
    m_text = text;
}
