#include "CSeqDlg.h"

#include "CDanceNoteDlg.h"
#include "CLast.h"
#include "CManage.h"
#include "CMemoDlg.h"
#include "IconMessages.h"
#include "RecorderSkin.h"

#include <QFileInfo>

namespace {
constexpr int kKeyOffset = 5; // position 0 is the key five semitones down
constexpr int kSliderLeft = 70;
constexpr int kSliderWidth = 180;
constexpr int kSliderHeight = 16;
constexpr int kRows[] = {102, 126, 150};
// Windows colour values (0x00BBGGRR).
constexpr unsigned int kFieldBack = 0x00B3E9F9; // RGB(249, 233, 179)
constexpr unsigned int kFieldText = 0x00586078; // RGB(120, 96, 88)
constexpr unsigned int kValueBack = 0x007BCEE7; // the panel's gold, RGB(231, 206, 123)

CTextWnd* MakeText(QWidget* parent, const QRect& rect, unsigned int back, unsigned int text) {
    auto* window = new CTextWnd;
    window->Create(rect, parent);
    window->SetColor(back);
    window->SetTextColor(text);
    window->NoNotify();
    return window;
}
} // namespace

CSeqDlg::CSeqDlg() = default;

CSeqDlg::~CSeqDlg() = default;

QString CSeqDlg::BeatLabel(int position) {
    static const char* const kLabels[] = {"OFF", "2/4", "3/4", "4/4", "5/4", "6/8"};
    return position >= 0 && position < 6 ? QString::fromLatin1(kLabels[position]) : QString();
}

QString CSeqDlg::KeyLabel(int position) {
    static const char* const kLabels[] = {"G",  "Ab", "A",  "Bb", "B", "C",
                                          "Db", "D",  "Eb", "E",  "F", "F#"};
    return position >= 0 && position < 12 ? QString::fromLatin1(kLabels[position]) : QString();
}

void CSeqDlg::Create(QWidget* parent) {
    Build(parent, recorderskin::Picture(&CTrade::GetBmpStSeqBack), QPoint(12, 196),
          QPoint(262, 204));

    m_name = MakeText(this, QRect(66, 10, 250, 18), kFieldBack, kFieldText);

    // The staff on which the played notes dance.
    m_staff = new CDanceNoteDlg(this);

    const recorderskin::Accessor captions[] = {&CTrade::GetTextTempo, &CTrade::GetTextBeat,
                                               &CTrade::GetTextKey};
    CSeqSlider** sliders[] = {&m_tempo, &m_beat, &m_key};
    CTextWnd** values[] = {&m_tempoText, &m_beatText, &m_keyText};
    for (int i = 0; i < 3; ++i) {
        auto* caption = new CIconWnd;
        const CBmpMask mask =
            recorderskin::Mask(captions[i], this, WM_ICONCLICK, CBmpMask::RGN_RECT);
        caption->Create(QRect(QPoint(14, kRows[i] + 1), mask.GetAniRect(0).size()), this, mask);
        caption->NoNotify();
        auto* slider = new CSeqSlider;
        slider->Create(QRect(kSliderLeft, kRows[i], kSliderWidth, kSliderHeight), this);
        *sliders[i] = slider;
        *values[i] = MakeText(this, QRect(kSliderLeft + kSliderWidth + 8, kRows[i], 50, 16),
                              kValueBack, kFieldText);
    }
    m_tempo->SetRange(40, 300);
    m_beat->SetRange(0, 5);
    m_key->SetRange(0, 11);
    m_tempo->setAccessibleName(QStringLiteral("テンポ"));
    m_beat->setAccessibleName(QStringLiteral("拍子"));
    m_key->setAccessibleName(QStringLiteral("キー"));

    m_memo = new CIconWndButton;
    const CBmpMask memo = recorderskin::Mask(&CTrade::GetBmpBtnMemo, this, WM_MEMO);
    m_memo->Create(QRect(QPoint(214, 204), memo.GetAniRect(0).size()), this, memo);
    m_memo->SetHint(QStringLiteral("メモ"), QStringLiteral("録音にメモを書く"));
    Refresh();
}

void CSeqDlg::ShowValues() {
    m_tempoText->SetText(QString::number(m_tempo->GetPos()));
    m_beatText->SetText(BeatLabel(m_beat->GetPos()));
    m_keyText->SetText(KeyLabel(m_key->GetPos()));
}

void CSeqDlg::Refresh() {
    if (!CLast::HasManage()) {
        return;
    }
    CManage& manage = CLast::Manage();
    const int positions[] = {static_cast<int>(manage.GetTempo()),
                             static_cast<int>(manage.GetBeat()),
                             static_cast<int>(manage.GetSeqKey()) + kKeyOffset};
    CSeqSlider* sliders[] = {m_tempo, m_beat, m_key};
    for (int i = 0; i < 3; ++i) {
        if (!sliders[i]->IsUserMoving()) {
            sliders[i]->SetPos(positions[i]);
        }
    }
    ShowValues();
    Strip()->SetTime(manage.GetSeqTimeDisp());
    m_name->SetText(QFileInfo(manage.GetSeqFileName()).fileName());
    m_memo->SetEnable(manage.IsAccessSeq());
    SaveButton()->SetEnable(manage.IsSaveSeq());
}

void CSeqDlg::OnSliderChanged() {
    CManage& manage = CLast::Manage();
    for (CSeqSlider* slider : {m_tempo, m_beat, m_key}) {
        slider->TakeUserMove();
    }
    manage.SetTempo(static_cast<unsigned int>(m_tempo->GetPos()), nullptr);
    manage.SetBeat(static_cast<E_BEAT>(m_beat->GetPos()), nullptr);
    manage.SetSeqKey(static_cast<E_SEQKEY>(m_key->GetPos() - kKeyOffset), nullptr);
    ShowValues();
}

void CSeqDlg::OnMemo() {
    m_memo->Check(1);
    CMemoDlg dialog(this);
    dialog.exec();
    m_memo->Check(0);
}

LRESULT CSeqDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CHANGED:
        OnSliderChanged();
        return 0;
    case WM_MEMO:
        OnMemo();
        return 0;
    default:
        return CStPanel::OnMessage(message, wParam, lParam);
    }
}

CSoundFile* CSeqDlg::RecordedTake() const {
    return CLast::Manage().GetSeqFile();
}

CVeskError CSeqDlg::Rec() {
    return CLast::Manage().SeqRec();
}

CVeskError CSeqDlg::Stop() {
    return CLast::Manage().SeqStop();
}

CVeskError CSeqDlg::Play() {
    return CLast::Manage().SeqPlay();
}

CVeskError CSeqDlg::First() {
    return CLast::Manage().SeqFirst();
}

CVeskError CSeqDlg::Rewind() {
    return CLast::Manage().SeqRewind();
}

CVeskError CSeqDlg::Forward() {
    return CLast::Manage().SeqForward();
}

CVeskError CSeqDlg::Save() {
    return CLast::Manage().SeqSave();
}
