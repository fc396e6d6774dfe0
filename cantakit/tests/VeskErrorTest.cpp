#include "CLast.h"
#include "CVeskError.h"
#include "CVeskException.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

// Waits until the tick count has moved past the last stamp, so that a new stamp is visible.
void WaitForNextTick() {
    const std::uint32_t stamp = CLast::GetLastAccess();
    while (CLast::GetTickCount() == stamp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

TEST(VeskError, DefaultIsSuccessWithoutText) {
    const CVeskError error;
    EXPECT_TRUE(error == 0);
    EXPECT_FALSE(error != 0);
    EXPECT_TRUE(error == ERR_VESK_OK);
    EXPECT_TRUE(error.GetStr().isEmpty());
}

TEST(VeskError, CopiesCarryCodeAndText) {
    const CVeskError original(QStringLiteral("a"), QStringLiteral("b"), ERR_VESK_FAILED,
                              QStringLiteral("MIDIファイルの保存に失敗しました。"));
    const CVeskError copy(original);
    EXPECT_EQ(copy.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(copy.GetStr(), QStringLiteral("MIDIファイルの保存に失敗しました。"));

    CVeskError assigned;
    assigned = original;
    EXPECT_TRUE(assigned == ERR_VESK_FAILED);
    EXPECT_EQ(assigned.GetStr(), original.GetStr());
}

TEST(VeskError, AssigningCodeOrTextKeepsTheOtherHalf) {
    CVeskError error;
    error.SetCode(ERR_VESK_REFUSED, QStringLiteral("録音／再生中は、この操作はできません。"));

    error = ERR_VESK_FAILED;
    EXPECT_EQ(error.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(error.GetStr(), QStringLiteral("録音／再生中は、この操作はできません。"));

    error = QStringLiteral("file name ?");
    EXPECT_EQ(error.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(error.GetStr(), QStringLiteral("file name ?"));
}

TEST(VeskError, AddingErrorsAddsCodesAndJoinsTexts) {
    CVeskError first(QString(), QString(), ERR_VESK_REFUSED, QStringLiteral("one"));
    const CVeskError second(QString(), QString(), ERR_VESK_FAILED, QStringLiteral("two"));
    first += second;
    EXPECT_EQ(static_cast<int>(first.GetCode()), 3);
    EXPECT_EQ(first.GetStr(), QStringLiteral("onetwo"));
}

TEST(VeskError, AddingAtTheLimitWrapsInsteadOfOverflowing) {
    CVeskError big(QString(), QString(), static_cast<E_ERR_VESK>(INT32_MAX), QString());
    const CVeskError one(QString(), QString(), ERR_VESK_REFUSED, QString());
    big += one;
    EXPECT_EQ(static_cast<int>(big.GetCode()), INT32_MIN);
}

TEST(VeskError, MakingAndDroppingAnErrorStampsActivity) {
    WaitForNextTick();
    std::uint32_t before = CLast::GetLastAccess();
    auto* error = new CVeskError;
    EXPECT_NE(CLast::GetLastAccess(), before);

    WaitForNextTick();
    before = CLast::GetLastAccess();
    delete error;
    EXPECT_NE(CLast::GetLastAccess(), before);
    EXPECT_LE(CLast::GetIdleTime(), 1000u);
}

TEST(VeskException, DescribesItselfAsAPlainException) {
    try {
        throw CVeskException();
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), std::exception().what());
    }
}
