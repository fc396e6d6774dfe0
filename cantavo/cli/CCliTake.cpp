#include "CCliTake.h"

#include "CVeskToy.h"

CCliTake::CCliTake(const QString& extension) : CSoundFile(extension) {}

CCliTake::~CCliTake() = default;

int CCliTake::OnSaveFileDefine(int) {
    if (GetFileFlag() == MODIFIED_CLEAN) {
        return 1;
    }
    if (m_saveName.isEmpty()) {
        return 0;
    }
    const QString target = CVeskToy().DataFile(m_saveName + GetExtension());
    // SaveFile asks before replacing an album file of that name; a refusal keeps the take.
    if (SaveFile(target) != 1) {
        return 0;
    }
    m_savedPath = target;
    return 1;
}
