// Fast drawing of long traces of joined line segments on an RGB32 bitmap.
//
// A trace of 262 143 segments on a bitmap a few hundred pixels wide puts hundreds of segments
// into every pixel column. Those that stay inside one column are vertical runs whose pixels
// are exactly the span between their lowest and highest point (QPainter draws a vertical
// one-pixel line with both ends), so a run is written as one span; only the segments that
// change column go through QPainter. The result equals drawing every segment with QPainter
// in copy and mask mode. In XOR mode the trace is first collected in a coverage mask and then
// every covered pixel is toggled once, so joints and crossings are not toggled twice.
#pragma once

#include <QImage>
#include <QLine>
#include <QPainter>
#include <array>
#include <cstdint>

enum class TPenMode { Copy, Mask, Xor };

// 0x00BBGGRR setting colour to an opaque RGB32 pixel value.
QRgb ColorRefToRgb(int32_t colorRef);

// The QPainter composition that stands for a pen mode.
QPainter::CompositionMode PenModeComposition(TPenMode mode);

class TTraceDraw {
public:
    // target: an RGB32 image. scratch: a Grayscale8 image used as coverage mask in XOR mode,
    // resized here when needed (nullptr: a temporary one is made).
    TTraceDraw(QImage& target, QRgb colour, TPenMode mode, int penWidth, QImage* scratch);
    ~TTraceDraw();
    TTraceDraw(const TTraceDraw&) = delete;
    TTraceDraw& operator=(const TTraceDraw&) = delete;

    // Next vertex of the trace; the first one only starts it.
    void Point(int x, int y) {
        if (!HasPrev) {
            HasPrev = true;
        } else if (x == PrevX && Thin) {
            if (!SpanOpen) {
                SpanOpen = true;
                SpanX = x;
                SpanLo = SpanHi = PrevY;
            }
            if (y < SpanLo) SpanLo = y;
            if (y > SpanHi) SpanHi = y;
        } else {
            if (SpanOpen) FlushSpan();
            Lines[LineCount++] = QLine(PrevX, PrevY, x, y);
            if (LineCount == Lines.size()) FlushLines();
        }
        PrevX = x;
        PrevY = y;
    }
    // Ends the trace (also done by the destructor); the object is spent afterwards.
    void Finish();

private:
    void FlushSpan();
    void FlushLines();

    QImage& Target;
    QImage* Scratch;
    QImage OwnScratch;
    QImage* Canvas; // where spans and lines go: the target, or the coverage mask
    QPainter Painter;
    uint32_t SpanValue; // value written (copy, XOR mask) or ANDed (mask)
    TPenMode Mode;
    bool Thin;
    bool HasPrev = false, SpanOpen = false, Painted = false;
    int PrevX = 0, PrevY = 0;
    int SpanX = 0, SpanLo = 0, SpanHi = 0;
    QRgb Colour;
    int PenWidth;
    std::array<QLine, 1024> Lines;
    size_t LineCount = 0;
};
