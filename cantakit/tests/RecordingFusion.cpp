#include "RecordingFusion.h"

#include "CLast.h"

CRecordingFusion::CRecordingFusion() {
    CLast::InitFusion(this);
}

CRecordingFusion::~CRecordingFusion() {
    CLast::InitFusion(nullptr);
}

int CRecordingFusion::ShowMessage(QString text, unsigned int style, QString caption) {
    texts.push_back(text);
    styles.push_back(style);
    captions.push_back(caption);
    threads.push_back(std::this_thread::get_id());
    if (style == MB_OK) {
        return IDOK;
    }
    if (m_answers.empty()) {
        return IDNO;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void CRecordingFusion::ShowWaiting(QWidget*, bool show) {
    waiting = show;
}
