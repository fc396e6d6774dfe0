#include "CDummy.h"
#include "CFusion.h"
#include "CLast.h"
#include "CTrace.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

class CRecordingFusion : public CFusion {
public:
    int ShowMessage(QString text, unsigned int style, QString caption) override {
        lastText = text;
        lastStyle = style;
        lastCaption = caption;
        return answer;
    }
    void ShowWaiting(QWidget*, bool show) override { waiting = show; }

    QString lastText;
    unsigned int lastStyle = 99;
    QString lastCaption;
    int answer = IDOK;
    bool waiting = false;
};

} // namespace

TEST(Registry, AnyTemporaryReachesTheSameObjects) {
    CRecordingFusion presenter;
    CLast().InitFusion(&presenter);
    EXPECT_EQ(&CLast().Fusion(), &presenter);
    EXPECT_EQ(&CLast::Fusion(), &presenter);
    EXPECT_TRUE(CLast().HasFusion());

    CLast::Fusion().ShowMessage(QStringLiteral("ハードディスクの空き容量が足りません。"), MB_OK,
                                QStringLiteral("メッセージ"));
    EXPECT_EQ(presenter.lastText, QStringLiteral("ハードディスクの空き容量が足りません。"));
    EXPECT_EQ(presenter.lastCaption, QStringLiteral("メッセージ"));
    CLast::InitFusion(nullptr);
}

TEST(Registry, TheLibraryWriterIsRegisteredWhenTheLibraryLoads) {
    EXPECT_EQ(&CLast::Trace(), &CTrace::LibraryWriter());
}

TEST(Registry, WithoutAPresenterAQuestionCountsAsNo) {
    CLast::InitFusion(nullptr);
    EXPECT_FALSE(CLast::HasFusion());
    const int answer = CLast::Fusion().ShowMessage(
        QStringLiteral("上書き保存してもよろしいですか？"), MB_YESNO, QStringLiteral("メッセージ"));
    EXPECT_NE(answer, IDYES);
}

TEST(Registry, WithoutAnEngineNoAudioDeviceIsFound) {
    CLast::InitDummy(nullptr);
    EXPECT_FALSE(CLast::HasDummy());
    EXPECT_EQ(CLast::Dummy().GetWaveOutDev(), 0xFFFFFFFFu);
    EXPECT_EQ(CLast::Dummy().GetWaveInDev(), 0xFFFFFFFFu);
}

TEST(Registry, ObjectsWithoutStandInsAbortWhenUnregistered) {
    EXPECT_FALSE(CLast::HasManage());
    EXPECT_DEATH(CLast::Manage(), "transport manager");
}

TEST(TickCount, ElapsedTimeSurvivesTheWrap) {
    EXPECT_EQ(CLast::TickElapsed(0xFFFFFF00u, 0x00000100u), 0x200u);
    EXPECT_EQ(CLast::TickElapsed(0x7FFFFFF0u, 0x80000010u), 0x20u);
    EXPECT_EQ(CLast::TickElapsed(1000u, 1000u), 0u);
}

TEST(TickCount, IdleTimeStartsAfresh) {
    CLast::UpdateAccess();
    EXPECT_LT(CLast::GetIdleTime(), 1000u);
}
