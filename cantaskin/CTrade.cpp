#include "CTrade.h"

#include "CLast.h"
#include "CScorp.h"

#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <atomic>
#include <initializer_list>
#include <map>

namespace {

// One entry of a frame list: a picture number (0 for a frame without bitmap) and how many
// frames in a row show it.
struct Frames {
    int id;
    int count = 1;
};

std::atomic<int> g_scale{0};

// Resources are named after the picture number; the HiDPI set lives beside the ordinary one.
QString ResourceName(int id, int scale) {
    return scale == 2 ? QStringLiteral(":/cantaskin/2x/%1.png").arg(id)
                      : QStringLiteral(":/cantaskin/1x/%1.png").arg(id);
}

CVeskError Fill(CBmpMask& mask, const char* name, std::initializer_list<Frames> list) {
    const CScorp scope("CTrade", name, CLast::Trace());
    mask.Clear();
    // Each distinct picture is loaded once per call: repeats in the list share its image.
    std::map<int, QImage> loaded;
    for (const Frames& entry : list) {
        QImage image;
        if (entry.id != 0) {
            auto it = loaded.find(entry.id);
            if (it == loaded.end()) {
                it = loaded.emplace(entry.id, CTrade::LoadPicture(entry.id)).first;
            }
            image = it->second;
        }
        for (int i = 0; i < entry.count; ++i) {
            mask.SetAniBmp(image);
        }
    }
    return CVeskError();
}

} // namespace

CTrade::CTrade() = default;
CTrade::CTrade(const CTrade&) {}
CTrade::~CTrade() = default;
CTrade& CTrade::operator=(const CTrade&) {
    return *this;
}

void CTrade::SetScale(int scale) {
    g_scale.store(scale == 1 || scale == 2 ? scale : 0);
}

int CTrade::Scale() {
    const int forced = g_scale.load();
    if (forced != 0) {
        return forced;
    }
    const QByteArray variable = qgetenv("CANTAVO_SKIN_SCALE");
    if (variable == "1" || variable == "2") {
        return variable.toInt();
    }
    if (qGuiApp != nullptr && qGuiApp->devicePixelRatio() > 1.0) {
        return 2;
    }
    return 1;
}

QImage CTrade::LoadPicture(int id) {
    const int scale = Scale();
    QImage image(ResourceName(id, scale));
    if (image.isNull()) {
        return image;
    }
    image = image.convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    return image;
}

BITMAP CTrade::PaintSplash(QPainter& dc) {
    const CScorp scope("CTrade", "PaintSplash", CLast::Trace());
    return CBmpMask::PaintBitmap(dc, LoadPicture(5259), QPoint(0, 0));
}

void CTrade::PaintDlgBack(QWidget* window, QPainter& dc) {
    const CScorp scope("CTrade", "PaintDlgBack", CLast::Trace());
    if (window == nullptr) {
        return;
    }
    const QRect client = window->rect();
    dc.fillRect(client, QColor(255, 255, 255));
    const QRect inner = client.adjusted(3, 3, -3, -3);
    if (inner.isValid()) {
        dc.fillRect(inner, QColor(231, 206, 123));
    }
}

CVeskError CTrade::GetBmpMetAniMet(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetAniMet", {});
}
CVeskError CTrade::GetBmpMetAniCon(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetAniCon",
                {{5203, 8},
                 {5204, 2},
                 {5205, 2},
                 {5204, 4},
                 {5206, 2},
                 {5207, 2},
                 {5206, 4},
                 {5208, 2},
                 {5209, 2},
                 {5208, 4},
                 {5200}});
}
CVeskError CTrade::GetBmpMetAniBea(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetAniBea",
                {{5214, 8},
                 {5215, 8},
                 {5214, 6},
                 {5216, 2},
                 {5217},
                 {5218},
                 {5217},
                 {5218},
                 {5217},
                 {5218},
                 {5217},
                 {5216},
                 {5210, 2},
                 {5219, 8},
                 {5210}});
}
CVeskError CTrade::GetBmpMetAniLad(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetAniLad",
                {{5223, 2},
                 {5224, 2},
                 {5225, 4},
                 {5226, 2},
                 {5227, 2},
                 {5228, 36},
                 {5227, 2},
                 {5226, 2},
                 {5225, 4},
                 {5224, 2},
                 {5223, 2},
                 {5220}});
}
CVeskError CTrade::GetBmpMetronome(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetronome",
                {{5197},
                 {5198},
                 {5199},
                 {5200},
                 {5201},
                 {5202},
                 {5212},
                 {5211},
                 {5210},
                 {5220},
                 {5221},
                 {5222}});
}
CVeskError CTrade::GetBmpReverb(CBmpMask& mask) {
    return Fill(mask, "GetBmpReverb", {{5015}, {5016}});
}
CVeskError CTrade::GetBmpReverbMask(CBmpMask& mask) {
    return Fill(mask, "GetBmpReverbMask", {{5017}, {5018}, {5019}, {5020}, {0}});
}
CVeskError CTrade::GetBmpTimbre(CBmpMask& mask) {
    return Fill(mask, "GetBmpTimbre",
                {{5030}, {5034}, {5025}, {5026}, {5031}, {5056}, {5033}, {5032}});
}
CVeskError CTrade::GetBmpStereo(CBmpMask& mask) {
    return Fill(mask, "GetBmpStereo", {{5241}});
}
CVeskError CTrade::GetBmpBtnDual(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnDual", {{5097}, {5098}, {5099}});
}
CVeskError CTrade::GetBmpGrandPiano(CBmpMask& mask) {
    return Fill(mask, "GetBmpGrandPiano", {{5057}, {5058}});
}
CVeskError CTrade::GetBmpUprightPiano(CBmpMask& mask) {
    return Fill(mask, "GetBmpUprightPiano", {{5059}, {5060}});
}
CVeskError CTrade::GetBmpElecPiano1(CBmpMask& mask) {
    return Fill(mask, "GetBmpElecPiano1", {{5061}, {5069}});
}
CVeskError CTrade::GetBmpElecPiano2(CBmpMask& mask) {
    return Fill(mask, "GetBmpElecPiano2", {{5070}, {5071}});
}
CVeskError CTrade::GetBmpHarpsichord(CBmpMask& mask) {
    return Fill(mask, "GetBmpHarpsichord", {{5072}, {5073}});
}
CVeskError CTrade::GetBmpVibration(CBmpMask& mask) {
    return Fill(mask, "GetBmpVibration", {{5078}, {5079}});
}
CVeskError CTrade::GetBmpStrings(CBmpMask& mask) {
    return Fill(mask, "GetBmpStrings", {{5076}, {5077}});
}
CVeskError CTrade::GetBmpPipeOrgan(CBmpMask& mask) {
    return Fill(mask, "GetBmpPipeOrgan", {{5074}, {5075}});
}
CVeskError CTrade::GetBmpBtnGrandPiano(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnGrandPiano", {{5283}, {5284}});
}
CVeskError CTrade::GetBmpBtnUprightPiano(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnUprightPiano", {{5295}, {5296}});
}
CVeskError CTrade::GetBmpBtnElecPiano1(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnElecPiano1", {{5277}, {5278}, {5279}});
}
CVeskError CTrade::GetBmpBtnElecPiano2(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnElecPiano2", {{5280}, {5281}, {5282}});
}
CVeskError CTrade::GetBmpBtnHarpsichord(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnHarpsichord", {{5286}, {5287}});
}
CVeskError CTrade::GetBmpBtnVibration(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnVibration", {{5298}, {5299}});
}
CVeskError CTrade::GetBmpBtnStrings(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnStrings", {{5292}, {5293}});
}
CVeskError CTrade::GetBmpBtnPipeOrgan(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnPipeOrgan", {{5289}, {5290}});
}
CVeskError CTrade::GetBmpMetroOnOff(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetroOnOff", {{5082}, {5083}});
}
CVeskError CTrade::GetBmpBtnReverb(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnReverb", {{5080}, {5081}});
}
CVeskError CTrade::GetBmpMetro01(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetro01", {{5229}, {5230}});
}
CVeskError CTrade::GetBmpMetro02(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetro02", {{5231}, {5232}});
}
CVeskError CTrade::GetBmpMetro03(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetro03", {{5233}, {5234}});
}
CVeskError CTrade::GetBmpMetro04(CBmpMask& mask) {
    return Fill(mask, "GetBmpMetro04", {{5235}, {5236}});
}
CVeskError CTrade::GetBmpAniAudio(CBmpMask& mask) {
    return Fill(mask, "GetBmpAniAudio", {{5309}, {5310}, {5311}, {5312}});
}
CVeskError CTrade::GetBmpAniMidi(CBmpMask& mask) {
    return Fill(mask, "GetBmpAniMidi", {{5237}});
}
CVeskError CTrade::GetBmpBtnRec(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnRec", {{5138}, {5139}, {5140}});
}
CVeskError CTrade::GetBmpBtnPlay(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnPlay", {{5106}, {5107}, {5108}});
}
CVeskError CTrade::GetBmpBtnStop(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnStop", {{5100}, {5101}, {5102}});
}
CVeskError CTrade::GetBmpBtnFirst(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnFirst", {{5112}, {5113}, {5114}});
}
CVeskError CTrade::GetBmpBtnRewind(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnRewind", {{5109}, {5110}, {5111}});
}
CVeskError CTrade::GetBmpBtnForward(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnForward", {{5103}, {5104}, {5105}});
}
CVeskError CTrade::GetBmpBtnSave(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnSave", {{5130}, {5131}, {5132}});
}
CVeskError CTrade::GetBmpBtnTrash(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnTrash", {{5147}, {5148}, {5149}});
}
CVeskError CTrade::GetBmpBtnEncode(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnEncode", {{5150}, {5151}, {5152}});
}
CVeskError CTrade::GetBmpBtnYes(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnYes", {{5153}, {5154}, {5157}});
}
CVeskError CTrade::GetBmpBtnNo(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnNo", {{5158}, {5159}, {5160}});
}
CVeskError CTrade::GetBmpBtnOn(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnOn", {{5161}, {5162}, {5163}});
}
CVeskError CTrade::GetBmpBtnOff(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnOff", {{5164}, {5165}, {5170}});
}
CVeskError CTrade::GetBmpBtnSpinUp(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnSpinUp", {{5023}, {5024}});
}
CVeskError CTrade::GetBmpBtnSpinDown(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnSpinDown", {{5021}, {5022}});
}
CVeskError CTrade::GetBmpStButtonBack(CBmpMask& mask) {
    return Fill(mask, "GetBmpStButtonBack", {{5089}});
}
CVeskError CTrade::GetBmpStSeqBack(CBmpMask& mask) {
    return Fill(mask, "GetBmpStSeqBack", {{5091}});
}
CVeskError CTrade::GetBmpBackLevel(CBmpMask& mask) {
    return Fill(mask, "GetBmpBackLevel", {{5330}});
}
CVeskError CTrade::GetBmpStAudBack(CBmpMask& mask) {
    return Fill(mask, "GetBmpStAudBack", {{5090}});
}
CVeskError CTrade::GetBmpStMixBack(CBmpMask& mask) {
    return Fill(mask, "GetBmpStMixBack", {{5092}});
}
CVeskError CTrade::GetBmpBtnSeq(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnSeq", {{5115}, {5116}, {5117}});
}
CVeskError CTrade::GetBmpBtnAud(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnAud", {{5118}, {5119}, {5120}});
}
CVeskError CTrade::GetBmpBtnMix(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnMix", {{5121}, {5122}, {5123}});
}
CVeskError CTrade::GetBmpBtnAlbam(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnAlbam", {{5127}, {5128}, {5129}});
}
CVeskError CTrade::GetBmpBtnOpen(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnOpen", {{5124}, {5125}, {5126}});
}
CVeskError CTrade::GetBmpBtnOk(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnOk", {{5141}, {5142}, {5143}});
}
CVeskError CTrade::GetBmpBtnCancel(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnCancel", {{5144}, {5145}, {5146}});
}
CVeskError CTrade::GetBmpBtnMemo(CBmpMask& mask) {
    return Fill(mask, "GetBmpBtnMemo", {{5260}, {5261}, {5262}});
}
CVeskError CTrade::GetBmpNote(CBmpMask& mask) {
    return Fill(mask, "GetBmpNote",
                {{5301}, {5302}, {5303}, {5304}, {5305}, {5306}, {5307}, {5308}});
}
CVeskError CTrade::GetBmpStartStop(CBmpMask& mask) {
    return Fill(mask, "GetBmpStartStop", {{5263}, {5264}});
}
CVeskError CTrade::GetTextMidi(CBmpMask& mask) {
    return Fill(mask, "GetTextMidi", {{5265}});
}
CVeskError CTrade::GetTextAudio(CBmpMask& mask) {
    return Fill(mask, "GetTextAudio", {{5266}});
}
CVeskError CTrade::GetTextCompress(CBmpMask& mask) {
    return Fill(mask, "GetTextCompress", {{5267}});
}
CVeskError CTrade::GetTextTempo(CBmpMask& mask) {
    return Fill(mask, "GetTextTempo", {{5268}});
}
CVeskError CTrade::GetTextBeat(CBmpMask& mask) {
    return Fill(mask, "GetTextBeat", {{5269}});
}
CVeskError CTrade::GetTextKey(CBmpMask& mask) {
    return Fill(mask, "GetTextKey", {{5270}});
}
CVeskError CTrade::GetTextFilename(CBmpMask& mask) {
    return Fill(mask, "GetTextFilename", {{5271}});
}
CVeskError CTrade::GetTextBrilliance(CBmpMask& mask) {
    return Fill(mask, "GetTextBrilliance", {{5272}});
}
CVeskError CTrade::GetTextTouchsense(CBmpMask& mask) {
    return Fill(mask, "GetTextTouchsense", {{5273}});
}
CVeskError CTrade::GetTextTranspose(CBmpMask& mask) {
    return Fill(mask, "GetTextTranspose", {{5274}});
}
CVeskError CTrade::GetTextTuning(CBmpMask& mask) {
    return Fill(mask, "GetTextTuning", {{5275}});
}
CVeskError CTrade::GetTextTempoX(CBmpMask& mask) {
    return Fill(mask, "GetTextTempoX", {{5276}});
}
CVeskError CTrade::GetTextLine(CBmpMask& mask) {
    return Fill(mask, "GetTextLine", {{5327}});
}
CVeskError CTrade::GetTextSeparate(CBmpMask& mask) {
    return Fill(mask, "GetTextSeparate", {{5329}});
}
CVeskError CTrade::GetSpinPoint(CBmpMask& mask) {
    return Fill(mask, "GetSpinPoint", {{5328}});
}
CVeskError CTrade::GetKeyLeft(CBmpMask& mask) {
    return Fill(mask, "GetKeyLeft", {{5316}, {5317}});
}
CVeskError CTrade::GetKeyRight(CBmpMask& mask) {
    return Fill(mask, "GetKeyRight", {{5318}, {5319}});
}
CVeskError CTrade::GetKeyCenter(CBmpMask& mask) {
    return Fill(mask, "GetKeyCenter", {{5320}, {5321}});
}
CVeskError CTrade::GetKeyAll(CBmpMask& mask) {
    return Fill(mask, "GetKeyAll", {{5322}, {5323}});
}
CVeskError CTrade::GetKeyBlack(CBmpMask& mask) {
    return Fill(mask, "GetKeyBlack", {{5324}, {5325}});
}
CVeskError CTrade::GetKeyBackground(CBmpMask& mask) {
    return Fill(mask, "GetKeyBackground", {{5326}});
}

const std::vector<CTrade::Named>& CTrade::Accessors() {
    static const std::vector<Named> all = {
        {"GetBmpMetAniMet", &CTrade::GetBmpMetAniMet},
        {"GetBmpMetAniCon", &CTrade::GetBmpMetAniCon},
        {"GetBmpMetAniBea", &CTrade::GetBmpMetAniBea},
        {"GetBmpMetAniLad", &CTrade::GetBmpMetAniLad},
        {"GetBmpMetronome", &CTrade::GetBmpMetronome},
        {"GetBmpReverb", &CTrade::GetBmpReverb},
        {"GetBmpReverbMask", &CTrade::GetBmpReverbMask},
        {"GetBmpTimbre", &CTrade::GetBmpTimbre},
        {"GetBmpStereo", &CTrade::GetBmpStereo},
        {"GetBmpBtnDual", &CTrade::GetBmpBtnDual},
        {"GetBmpGrandPiano", &CTrade::GetBmpGrandPiano},
        {"GetBmpUprightPiano", &CTrade::GetBmpUprightPiano},
        {"GetBmpElecPiano1", &CTrade::GetBmpElecPiano1},
        {"GetBmpElecPiano2", &CTrade::GetBmpElecPiano2},
        {"GetBmpHarpsichord", &CTrade::GetBmpHarpsichord},
        {"GetBmpVibration", &CTrade::GetBmpVibration},
        {"GetBmpStrings", &CTrade::GetBmpStrings},
        {"GetBmpPipeOrgan", &CTrade::GetBmpPipeOrgan},
        {"GetBmpBtnGrandPiano", &CTrade::GetBmpBtnGrandPiano},
        {"GetBmpBtnUprightPiano", &CTrade::GetBmpBtnUprightPiano},
        {"GetBmpBtnElecPiano1", &CTrade::GetBmpBtnElecPiano1},
        {"GetBmpBtnElecPiano2", &CTrade::GetBmpBtnElecPiano2},
        {"GetBmpBtnHarpsichord", &CTrade::GetBmpBtnHarpsichord},
        {"GetBmpBtnVibration", &CTrade::GetBmpBtnVibration},
        {"GetBmpBtnStrings", &CTrade::GetBmpBtnStrings},
        {"GetBmpBtnPipeOrgan", &CTrade::GetBmpBtnPipeOrgan},
        {"GetBmpMetroOnOff", &CTrade::GetBmpMetroOnOff},
        {"GetBmpBtnReverb", &CTrade::GetBmpBtnReverb},
        {"GetBmpMetro01", &CTrade::GetBmpMetro01},
        {"GetBmpMetro02", &CTrade::GetBmpMetro02},
        {"GetBmpMetro03", &CTrade::GetBmpMetro03},
        {"GetBmpMetro04", &CTrade::GetBmpMetro04},
        {"GetBmpAniAudio", &CTrade::GetBmpAniAudio},
        {"GetBmpAniMidi", &CTrade::GetBmpAniMidi},
        {"GetBmpBtnRec", &CTrade::GetBmpBtnRec},
        {"GetBmpBtnPlay", &CTrade::GetBmpBtnPlay},
        {"GetBmpBtnStop", &CTrade::GetBmpBtnStop},
        {"GetBmpBtnFirst", &CTrade::GetBmpBtnFirst},
        {"GetBmpBtnRewind", &CTrade::GetBmpBtnRewind},
        {"GetBmpBtnForward", &CTrade::GetBmpBtnForward},
        {"GetBmpBtnSave", &CTrade::GetBmpBtnSave},
        {"GetBmpBtnTrash", &CTrade::GetBmpBtnTrash},
        {"GetBmpBtnEncode", &CTrade::GetBmpBtnEncode},
        {"GetBmpBtnYes", &CTrade::GetBmpBtnYes},
        {"GetBmpBtnNo", &CTrade::GetBmpBtnNo},
        {"GetBmpBtnOn", &CTrade::GetBmpBtnOn},
        {"GetBmpBtnOff", &CTrade::GetBmpBtnOff},
        {"GetBmpBtnSpinUp", &CTrade::GetBmpBtnSpinUp},
        {"GetBmpBtnSpinDown", &CTrade::GetBmpBtnSpinDown},
        {"GetBmpStButtonBack", &CTrade::GetBmpStButtonBack},
        {"GetBmpStSeqBack", &CTrade::GetBmpStSeqBack},
        {"GetBmpBackLevel", &CTrade::GetBmpBackLevel},
        {"GetBmpStAudBack", &CTrade::GetBmpStAudBack},
        {"GetBmpStMixBack", &CTrade::GetBmpStMixBack},
        {"GetBmpBtnSeq", &CTrade::GetBmpBtnSeq},
        {"GetBmpBtnAud", &CTrade::GetBmpBtnAud},
        {"GetBmpBtnMix", &CTrade::GetBmpBtnMix},
        {"GetBmpBtnAlbam", &CTrade::GetBmpBtnAlbam},
        {"GetBmpBtnOpen", &CTrade::GetBmpBtnOpen},
        {"GetBmpBtnOk", &CTrade::GetBmpBtnOk},
        {"GetBmpBtnCancel", &CTrade::GetBmpBtnCancel},
        {"GetBmpBtnMemo", &CTrade::GetBmpBtnMemo},
        {"GetBmpNote", &CTrade::GetBmpNote},
        {"GetBmpStartStop", &CTrade::GetBmpStartStop},
        {"GetTextMidi", &CTrade::GetTextMidi},
        {"GetTextAudio", &CTrade::GetTextAudio},
        {"GetTextCompress", &CTrade::GetTextCompress},
        {"GetTextTempo", &CTrade::GetTextTempo},
        {"GetTextBeat", &CTrade::GetTextBeat},
        {"GetTextKey", &CTrade::GetTextKey},
        {"GetTextFilename", &CTrade::GetTextFilename},
        {"GetTextBrilliance", &CTrade::GetTextBrilliance},
        {"GetTextTouchsense", &CTrade::GetTextTouchsense},
        {"GetTextTranspose", &CTrade::GetTextTranspose},
        {"GetTextTuning", &CTrade::GetTextTuning},
        {"GetTextTempoX", &CTrade::GetTextTempoX},
        {"GetTextLine", &CTrade::GetTextLine},
        {"GetTextSeparate", &CTrade::GetTextSeparate},
        {"GetSpinPoint", &CTrade::GetSpinPoint},
        {"GetKeyLeft", &CTrade::GetKeyLeft},
        {"GetKeyRight", &CTrade::GetKeyRight},
        {"GetKeyCenter", &CTrade::GetKeyCenter},
        {"GetKeyAll", &CTrade::GetKeyAll},
        {"GetKeyBlack", &CTrade::GetKeyBlack},
        {"GetKeyBackground", &CTrade::GetKeyBackground},
    };
    return all;
}
