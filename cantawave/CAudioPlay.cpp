#include "CAudioPlay.h"

#include "CLast.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CScorp.h"
#include "CTrace.h"

#include <cmath>

const QString CAudioPlay::kUnexpected = QStringLiteral("予期せぬエラーが発生しました。(1)");
const QString CAudioPlay::kNoFile =
    QStringLiteral("アルバムからオーディオファイルを選んでください。");
const QString CAudioPlay::kFormatMessage =
    QStringLiteral("このオーディオファイルフォーマットは再生可能な形式ではありません。");
const QString CAudioPlay::kDeviceMessage =
    QStringLiteral("オーディオデバイスを使用することができません。\r\nZQ31本体と正しく接続されて"
                   "いるかを確認してください。");
const QString CAudioPlay::kThreadMessage = QStringLiteral("beginthread AudioThreadCall failed.");

// Playback itself is on its way; until then a start fails as it does without a device.
CAudioPlay::CAudioPlay() = default;

CAudioPlay::~CAudioPlay() = default;

CVeskError CAudioPlay::Initialize() {
    return {};
}

CVeskError CAudioPlay::Terminate() {
    m_terminated = true;
    return {};
}

CVeskError CAudioPlay::SetFileName(const QString& path) {
    const CPublicAction lock("CAudioPlay", "SetFileName");
    m_fileName = path;
    return First();
}

CVeskError CAudioPlay::Start() {
    CVeskError result;
    result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
    return result;
}

CVeskError CAudioPlay::Stop() {
    return {};
}

CVeskError CAudioPlay::First() {
    m_position = 0;
    return {};
}

CVeskError CAudioPlay::Rewind() {
    return {};
}

CVeskError CAudioPlay::Forward() {
    return {};
}

CVeskError CAudioPlay::Refresh() {
    const CPublicAction lock("CAudioPlay", "Refresh");
    return {};
}

QString CAudioPlay::GetFileName() const {
    return m_fileName;
}

E_AUDLEVELOUT CAudioPlay::LevelOfPeak(unsigned int peak) {
    return static_cast<E_AUDLEVELOUT>(
        static_cast<unsigned int>(21.0 * std::sqrt(double(peak)) / (std::sqrt(32768.0) + 1.0)));
}

void CAudioPlay::MeasureLevels(const void*, std::size_t, E_AUDLEVELOUT& left,
                               E_AUDLEVELOUT& right) {
    left = AUDLEVELOUT_MIN;
    right = AUDLEVELOUT_MIN;
}
