#include "CHeadlessTake.h"

CHeadlessTake::CHeadlessTake(const QString& extension) : CSoundFile(extension) {}

CHeadlessTake::~CHeadlessTake() = default;

int CHeadlessTake::OnSaveFileDefine(int) {
    return GetFileFlag() == MODIFIED_CLEAN ? 1 : 0;
}
