#include "WindowRig.h"

#include "CLast.h"
#include "CWinMsg.h"
#include "mmsystemx.h"

CWindowRig::CWindowRig() : CWindowRig(nullptr, nullptr) {}

CWindowRig::CWindowRig(CSoundFile* midiTake_, CSoundFile* audioTake_) {
    if (midiTake_ != nullptr && audioTake_ != nullptr) {
        midiTake = midiTake_;
        audioTake = audioTake_;
    }
    piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    manage = std::make_unique<CManage>();
    CLast::InitManage(manage.get());
    CLast::InitSysinfo(manage.get());
    manage->Create(nullptr);
    manage->SetSeqFile(midiTake);
    manage->SetAudFile(audioTake);
    manage->Initialize();
    manage->Refresh();
    CWinMsg::PumpMessages();
}

void CWindowRig::StopAll() {
    manage->MixStop();
    manage->AudStop();
    manage->SeqStop();
    manage->MetroStop();
    for (CSoundFile* take : {midiTake, audioTake}) {
        if (take->GetFileFlag() == MODIFIED_DIRTY) {
            take->DeleteFileA();
        }
    }
    CWinMsg::PumpMessages();
}

CWindowRig::~CWindowRig() {
    StopAll();
    midi.answer = 1;
    audio.answer = 1;
    manage->Terminate();
    CWinMsg::PumpMessages();
    manage->SetSeqFile(nullptr);
    manage->SetAudFile(nullptr);
    CLast::InitManage(nullptr);
    CLast::InitSysinfo(nullptr);
    manage.reset();
}
