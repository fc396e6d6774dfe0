#pragma once

#include "CManage.h"
#include "CVirtualPiano.h"
#include "EngineDoubles.h"
#include "RecordingFusion.h"

#include <memory>

// The engine as the program starts it, for tests of the program's windows: a fresh virtual
// ZQ31, the manager registered as shared state and event receiver with its message window,
// the two takes, a presenter that records what is shown and answers from a script, the
// workers initialised and the whole state pushed. Windows under test are created after the
// rig (they register themselves) and destroyed before it.
class CWindowRig {
public:
    CWindowRig();
    // With the program's own takes instead of the answering ones (both or neither).
    CWindowRig(CSoundFile* midiTake, CSoundFile* audioTake);
    ~CWindowRig();
    CWindowRig(const CWindowRig&) = delete;
    CWindowRig& operator=(const CWindowRig&) = delete;

    // Brings every transport to a stop and forgets the takes' unsaved content.
    void StopAll();

    CRecordingFusion fusion;
    CAnsweringTake midi{QStringLiteral(".mid")};
    CAnsweringTake audio{QStringLiteral(".wav")};
    // The takes the engine was given: the answering ones unless others were passed.
    CSoundFile* midiTake = &midi;
    CSoundFile* audioTake = &audio;
    std::shared_ptr<CVirtualPiano> piano;
    std::unique_ptr<CManage> manage;
};
