#pragma once

#include "BITMAP.h"
#include "CBmpMask.h"
#include "CVeskError.h"

#include <vector>

class QPainter;
class QWidget;

// The skin: every picture of the program, one accessor per piece of artwork. An accessor fills
// a mask with that artwork's frames in display order, loading each distinct picture once (a
// picture listed several times in a row is the same image each time, so an animation holds it
// longer); the mask's own settings stay as the caller made them, and its region flag must be
// set before the call because regions are cut while frames are appended. Accessors never fail:
// a picture that cannot be loaded becomes a frame without bitmap.
//
// Pictures come from this library's own resources, at 2x on screens with a device pixel ratio
// above 1, with regions and rectangles in the same logical pixels at both scales.
class CTrade {
public:
    CTrade();
    CTrade(const CTrade& other);
    virtual ~CTrade();
    CTrade& operator=(const CTrade& other);

    CVeskError GetBmpMetAniMet(CBmpMask& mask);
    CVeskError GetBmpMetAniCon(CBmpMask& mask);
    CVeskError GetBmpMetAniBea(CBmpMask& mask);
    CVeskError GetBmpMetAniLad(CBmpMask& mask);
    CVeskError GetBmpMetronome(CBmpMask& mask);
    CVeskError GetBmpReverb(CBmpMask& mask);
    CVeskError GetBmpReverbMask(CBmpMask& mask);
    CVeskError GetBmpTimbre(CBmpMask& mask);
    CVeskError GetBmpStereo(CBmpMask& mask);
    CVeskError GetBmpBtnDual(CBmpMask& mask);
    CVeskError GetBmpGrandPiano(CBmpMask& mask);
    CVeskError GetBmpUprightPiano(CBmpMask& mask);
    CVeskError GetBmpElecPiano1(CBmpMask& mask);
    CVeskError GetBmpElecPiano2(CBmpMask& mask);
    CVeskError GetBmpHarpsichord(CBmpMask& mask);
    CVeskError GetBmpVibration(CBmpMask& mask);
    CVeskError GetBmpStrings(CBmpMask& mask);
    CVeskError GetBmpPipeOrgan(CBmpMask& mask);
    CVeskError GetBmpBtnGrandPiano(CBmpMask& mask);
    CVeskError GetBmpBtnUprightPiano(CBmpMask& mask);
    CVeskError GetBmpBtnElecPiano1(CBmpMask& mask);
    CVeskError GetBmpBtnElecPiano2(CBmpMask& mask);
    CVeskError GetBmpBtnHarpsichord(CBmpMask& mask);
    CVeskError GetBmpBtnVibration(CBmpMask& mask);
    CVeskError GetBmpBtnStrings(CBmpMask& mask);
    CVeskError GetBmpBtnPipeOrgan(CBmpMask& mask);
    CVeskError GetBmpMetroOnOff(CBmpMask& mask);
    CVeskError GetBmpBtnReverb(CBmpMask& mask);
    CVeskError GetBmpMetro01(CBmpMask& mask);
    CVeskError GetBmpMetro02(CBmpMask& mask);
    CVeskError GetBmpMetro03(CBmpMask& mask);
    CVeskError GetBmpMetro04(CBmpMask& mask);
    CVeskError GetBmpAniAudio(CBmpMask& mask);
    CVeskError GetBmpAniMidi(CBmpMask& mask);
    CVeskError GetBmpBtnRec(CBmpMask& mask);
    CVeskError GetBmpBtnPlay(CBmpMask& mask);
    CVeskError GetBmpBtnStop(CBmpMask& mask);
    CVeskError GetBmpBtnFirst(CBmpMask& mask);
    CVeskError GetBmpBtnRewind(CBmpMask& mask);
    CVeskError GetBmpBtnForward(CBmpMask& mask);
    CVeskError GetBmpBtnSave(CBmpMask& mask);
    CVeskError GetBmpBtnTrash(CBmpMask& mask);
    CVeskError GetBmpBtnEncode(CBmpMask& mask);
    CVeskError GetBmpBtnYes(CBmpMask& mask);
    CVeskError GetBmpBtnNo(CBmpMask& mask);
    CVeskError GetBmpBtnOn(CBmpMask& mask);
    CVeskError GetBmpBtnOff(CBmpMask& mask);
    CVeskError GetBmpBtnSpinUp(CBmpMask& mask);
    CVeskError GetBmpBtnSpinDown(CBmpMask& mask);
    CVeskError GetBmpStButtonBack(CBmpMask& mask);
    CVeskError GetBmpStSeqBack(CBmpMask& mask);
    CVeskError GetBmpBackLevel(CBmpMask& mask);
    CVeskError GetBmpStAudBack(CBmpMask& mask);
    CVeskError GetBmpStMixBack(CBmpMask& mask);
    CVeskError GetBmpBtnSeq(CBmpMask& mask);
    CVeskError GetBmpBtnAud(CBmpMask& mask);
    CVeskError GetBmpBtnMix(CBmpMask& mask);
    CVeskError GetBmpBtnAlbam(CBmpMask& mask);
    CVeskError GetBmpBtnOpen(CBmpMask& mask);
    CVeskError GetBmpBtnOk(CBmpMask& mask);
    CVeskError GetBmpBtnCancel(CBmpMask& mask);
    CVeskError GetBmpBtnMemo(CBmpMask& mask);
    CVeskError GetBmpNote(CBmpMask& mask);
    CVeskError GetBmpStartStop(CBmpMask& mask);
    CVeskError GetTextMidi(CBmpMask& mask);
    CVeskError GetTextAudio(CBmpMask& mask);
    CVeskError GetTextCompress(CBmpMask& mask);
    CVeskError GetTextTempo(CBmpMask& mask);
    CVeskError GetTextBeat(CBmpMask& mask);
    CVeskError GetTextKey(CBmpMask& mask);
    CVeskError GetTextFilename(CBmpMask& mask);
    CVeskError GetTextBrilliance(CBmpMask& mask);
    CVeskError GetTextTouchsense(CBmpMask& mask);
    CVeskError GetTextTranspose(CBmpMask& mask);
    CVeskError GetTextTuning(CBmpMask& mask);
    CVeskError GetTextTempoX(CBmpMask& mask);
    CVeskError GetTextLine(CBmpMask& mask);
    CVeskError GetTextSeparate(CBmpMask& mask);
    CVeskError GetSpinPoint(CBmpMask& mask);
    CVeskError GetKeyLeft(CBmpMask& mask);
    CVeskError GetKeyRight(CBmpMask& mask);
    CVeskError GetKeyCenter(CBmpMask& mask);
    CVeskError GetKeyAll(CBmpMask& mask);
    CVeskError GetKeyBlack(CBmpMask& mask);
    CVeskError GetKeyBackground(CBmpMask& mask);

    // Draws the start-up picture at (0, 0) and returns its description (580 x 258).
    BITMAP PaintSplash(QPainter& dc);
    // The standard dialog background: a pale gold panel inside a 3-pixel white frame over the
    // window's whole client area.
    void PaintDlgBack(QWidget* window, QPainter& dc);

    // 1 or 2 forces a scale; 0 (the default) follows the screen's device pixel ratio, or the
    // environment variable CANTAVO_SKIN_SCALE when it is set to 1 or 2.
    static void SetScale(int scale);
    // The scale that the next load uses.
    static int Scale();
    // Every accessor with its name, in catalogue order: for reviewing and checking the skin.
    using Accessor = CVeskError (CTrade::*)(CBmpMask&);
    struct Named {
        const char* name;
        Accessor get;
    };
    static const std::vector<Named>& Accessors();

    // One picture by its resource number at the current scale; null if there is none.
    static QImage LoadPicture(int id);
};
