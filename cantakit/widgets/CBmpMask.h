#pragma once

#include "BITMAP.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <cstdint>
#include <vector>

class QObject;
class QPainter;

// The artwork of one icon window: its animation frames, each a bitmap with the window region
// cut out of it, and how the window reports clicks to its parent. It also holds the pixel
// routines the toolkit shares: the 32-bit copy, regions from a transparent colour and the
// 70/30 "frosted" blend.
//
// Bitmaps are QImage values and regions QRegion values: copies of a mask share the pixels of
// the same images (QImage::cacheKey() tells two handles apart), and nothing is ever freed
// under a holder's feet. Release() and Clear() both drop the frames of this mask only.
//
// A pixel compared with the mask and the transparent colour is 0x00RRGGBB. Images with a
// device pixel ratio above 1 (the HiDPI skin) keep their regions and rectangles in logical
// pixels, so a window has the same outline at every scale.
class CBmpMask {
public:
    enum RGN_FLAG { RGN_SHAPED = 0, RGN_RECT = 1 };
    enum EVENT_FLAG { EVENT_DOWN = 0, EVENT_UP = 1 };

    // Bitmap, region (empty for rectangular masks and frames without bitmap) and the frame's
    // rectangle (0, 0, width, height; empty without bitmap).
    struct SCTRL {
        QImage bitmap;
        QRegion region;
        QRect rect;
    };

    // Take the transparent colour from each frame's bottom-left pixel.
    static constexpr std::uint32_t TRANS_FROM_CORNER = 0xFFFFFF;
    static constexpr unsigned int DEFAULT_MSG = 1024;

    explicit CBmpMask(QObject* parent = nullptr);
    CBmpMask(const CBmpMask& other);
    virtual ~CBmpMask();
    // The result carries no information.
    int operator=(const CBmpMask& other);

    // The transparent colour keeps only the bits the new mask lets through.
    void SetMask(std::uint32_t mask);
    void SetTrans(std::uint32_t colour);
    std::uint32_t GetMask() const { return m_mask; }
    std::uint32_t GetTrans() const { return m_trans; }
    void SetRgnFlag(RGN_FLAG flag) { m_rgnFlag = flag; }
    RGN_FLAG GetRgnFlag() const { return m_rgnFlag; }
    void SetEventFlag(EVENT_FLAG flag) { m_eventFlag = flag; }
    EVENT_FLAG GetEventFlag() const { return m_eventFlag; }
    void SetMsg(unsigned int msg) { m_msg = msg; }
    unsigned int GetMsg() const { return m_msg; }
    void SetParent(QObject* parent) { m_parent = parent; }
    QObject* GetParent() const { return m_parent; }

    // Appends a frame; a shaped mask cuts its region now, so that showing a frame later only
    // selects it. Every frame finds its transparent colour in its own bottom-left pixel. A null
    // image gives a frame without bitmap, region or size.
    void SetAniBmp(const QImage& bitmap);
    // Null image, empty region, empty rectangle for an index past the last frame.
    QImage GetAniBmp(unsigned int index) const;
    QRegion GetAniRgn(unsigned int index) const;
    QRect GetAniRect(unsigned int index) const;
    unsigned int SizeAni() const { return static_cast<unsigned int>(m_frames.size()); }
    std::vector<SCTRL>& _GetAni() { return m_frames; }
    const std::vector<SCTRL>& _GetAni() const { return m_frames; }

    void Clear();
    void Release();

    // A 32-bit copy (Format_RGB32, same device pixel ratio) whose pixels read 0x00RRGGBB;
    // `bits` points at its first row (rows top-down, width * 4 bytes each, no gaps). A null
    // source gives a null image, a zeroed `info` and a null `bits`.
    static QImage MakeDIB(const QImage& source, BITMAP& info, std::uint32_t*& bits);
    // (0, 0, width, height) in logical pixels; empty for a null image.
    static QRect GetBmpRect(const QImage& bitmap);
    // The region of the pixels that differ from the transparent colour after masking, built
    // from whole runs of each line. With the transparent colour unset, it is taken from the
    // bitmap's bottom-left pixel and kept. Empty for a null bitmap.
    QRegion CreateBmpRgn(const QImage& bitmap);
    // 70 % front, 30 % back, per colour byte; the result has the front's size. Where the back
    // is smaller than the front, the front shows unchanged. Null if either is null.
    static QImage FrostedBitmap(const QImage& back, const QImage& front);
    // Per byte: (7 * front + 3 * back) / 10, over width * height pixels of each buffer.
    static void FeeldCreator(const std::uint32_t* back, const std::uint32_t* front,
                             unsigned int width, unsigned int height, std::uint32_t* out);
    static void BestFeeldCreator(const std::uint32_t* back, const std::uint32_t* front,
                                 unsigned int width, unsigned int height, std::uint32_t* out);
    // Draws the bitmap unchanged with its top-left corner at `at` (logical pixels).
    static BITMAP PaintBitmap(QPainter& dc, const QImage& bitmap, QPoint at);
    static BITMAP Describe(const QImage& bitmap);

private:
    RGN_FLAG m_rgnFlag = RGN_SHAPED;
    EVENT_FLAG m_eventFlag = EVENT_DOWN;
    std::uint32_t m_mask = 0xFFFFFF;
    std::uint32_t m_trans = TRANS_FROM_CORNER;
    QObject* m_parent = nullptr;
    unsigned int m_msg = DEFAULT_MSG;
    std::vector<SCTRL> m_frames;
};
