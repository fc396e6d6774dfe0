#pragma once

#include "CSoundFile.h"

// The record of a take while the program runs without its windows: nobody can choose a name,
// so an unsaved take is kept where it is (in the temporary folder) rather than lost, and the
// question is answered as "back out".
class CHeadlessTake : public CSoundFile {
public:
    explicit CHeadlessTake(const QString& extension);
    ~CHeadlessTake() override;

protected:
    int OnSaveFileDefine(int ask) override;
};
