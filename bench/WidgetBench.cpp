// What the icon windows cost on the window thread: selecting and drawing a frame, and the
// frosted overlay's blend when it is computed and when the cache has it.
//   build/dev/bin/widget_bench
#include "CBmpMask.h"
#include "CIconWnd.h"
#include "CIconWndFrosted.h"
#include "CWinMsg.h"
#include "IconMessages.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

QImage Picture(QSize size, QColor colour, int inset) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(0xFF00FF);
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRect(QPoint(inset, inset), size - QSize(2 * inset, 2 * inset)));
    return picture;
}

class Overlay : public CIconWndFrosted {
protected:
    void ShowChildren(int) override {}
};

void FrameSwitch(benchmark::State& state) {
    QWidget parent;
    parent.resize(200, 200);
    CBmpMask mask;
    mask.SetAniBmp(Picture({39, 41}, Qt::blue, 1));
    mask.SetAniBmp(Picture({39, 41}, Qt::red, 1));
    CIconWnd icon;
    icon.Create(QRect(10, 10, 39, 41), &parent, mask);
    parent.show();
    WPARAM frame = 0;
    for (auto _ : state) {
        frame ^= 1;
        CWinMsg::PostMessage(&icon, WM_DATACHANGE, frame, kKeepPlaceParam);
        QCoreApplication::sendPostedEvents(&icon);
        icon.repaint();
    }
}
BENCHMARK(FrameSwitch);

void FrostedBlendComputed(benchmark::State& state) {
    const QImage back = Picture({792, 526}, QColor(90, 150, 220), 0);
    const QImage front = Picture({792, 526}, QColor(250, 250, 240), 40);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CBmpMask::FrostedBitmap(back, front));
    }
}
BENCHMARK(FrostedBlendComputed)->Unit(benchmark::kMillisecond);

void FrostedBlendCached(benchmark::State& state) {
    QWidget top;
    CBmpMask backMask;
    backMask.SetRgnFlag(CBmpMask::RGN_RECT);
    backMask.SetAniBmp(Picture({792, 526}, QColor(90, 150, 220), 0));
    CIconWnd under;
    under.Create(QRect(0, 0, 792, 526), &top, backMask);
    CBmpMask mask;
    mask.SetAniBmp(Picture({792, 526}, QColor(250, 250, 240), 40));
    mask.SetAniBmp(Picture({792, 526}, QColor(250, 250, 240), 80));
    Overlay overlay;
    overlay.Create(QRect(0, 0, 792, 526), &under, mask);
    WPARAM frame = 0;
    for (auto _ : state) {
        frame ^= 1;
        CWinMsg::PostMessage(&overlay, WM_FROSTEDSTYLE, frame, 0);
        QCoreApplication::sendPostedEvents(&overlay);
    }
}
BENCHMARK(FrostedBlendCached)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
