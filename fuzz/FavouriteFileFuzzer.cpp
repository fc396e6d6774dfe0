#include "CFavouriteFile.h"
#include "CFusion.h"
#include "CLast.h"
#include "CManage.h"

#include "CVeskToy.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

namespace {

class CSilentFusion : public CFusion {
public:
    int ShowMessage(QString, unsigned int, QString) override { return IDNO; }
    void ShowWaiting(QWidget*, bool) override {}
};

bool Within(long long value, long long least, long long most) {
    return value >= least && value <= most;
}

} // namespace

// A favourite file of any length and content is read without crashing, and whatever it holds,
// every setting of the model stays within its range.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CSilentFusion fusion;
    static CManage* const manage = [] {
        CLast::InitFusion(&fusion);
        QDir().mkpath(CVeskToy().GenuinePath());
        return new CManage;
    }();
    {
        QFile file(CFavouriteFile::Path(CFavouriteFile::kFavourite1));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    CFavouriteFile::Load(*manage, CFavouriteFile::kFavourite1, true);
    const CManage& m = *manage;
    if (!Within(m.GetTempo(), 40, 300) ||
        !Within(m.GetDefTimbre(), TIM_GRANDPIANO, TIM_PIPEORGAN) ||
        !Within(m.GetDualTimbre(), TIM_NONE, TIM_PIPEORGAN) ||
        !Within(m.GetBeat(), BEAT_NONE, BEAT_6_8) ||
        !Within(m.GetBrilliance(), BRILL_BRITE, BRILL_DARK) ||
        !Within(m.GetTouchSense(), TOUCH_LIGHT, TOUCH_HEAVY) ||
        !Within(m.GetTranspose(), TRANSPOSE_G, TRANSPOSE_FS) ||
        !Within(m.GetSeqKey(), SEQKEY_G, SEQKEY_FS) || !Within(m.GetTuning(), TUNING_1, TUNING_2) ||
        !Within(m.GetMetroCharType(), MET_CHAR_1, MET_CHAR_4) ||
        !Within(m.GetCompressType(), COMPRESS_WMA, COMPRESS_MP3) ||
        !Within(m.GetFrostedStyle(), FROSTED_STYLE_DEFAULT, FROSTED_STYLE_NONE)) {
        __builtin_trap();
    }
    return 0;
}
