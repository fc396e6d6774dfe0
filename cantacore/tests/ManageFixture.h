#pragma once

#include "CLast.h"
#include "CManage.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "RecordingFusion.h"
#include "SmfFiles.h"

#include <gtest/gtest.h>
#include <memory>

// The whole engine as the program starts it, against a fresh virtual ZQ31, with a presenter
// that records what is shown and answers from a script, a recorder window that records what
// it is told, and the two takes.
class ManageFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A song of quarter notes on channel 1 lasting minutes, so it plays through any test.
    static Bytes LongSong();
    // An audio file in the album (its content is never read by the checks that use it).
    QString AudioFile();
    // Brings every transport to a stop and forgets the takes' unsaved content.
    void StopAll();

    SOUND_STATUS S() const { return midi.GetSoundStatus(); }
    SOUND_STATUS A() const { return audio.GetSoundStatus(); }
    E_METSTATUS M() { return manage->GetMetStatus(); }

    CRecordingFusion fusion;
    CRecordingWindow stereo;
    CAnsweringTake midi{QStringLiteral(".mid")};
    CAnsweringTake audio{QStringLiteral(".wav")};
    std::shared_ptr<CVirtualPiano> piano;
    std::unique_ptr<CManage> manage;
    QString song;
};
