#include "trace_draw.h"

#include <algorithm>

QRgb ColorRefToRgb(int32_t colorRef) {
    const auto c = static_cast<uint32_t>(colorRef);
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QPainter::CompositionMode PenModeComposition(TPenMode mode) {
    switch (mode) {
    case TPenMode::Mask:
        return QPainter::RasterOp_SourceAndDestination;
    case TPenMode::Xor:
        return QPainter::RasterOp_SourceXorDestination;
    case TPenMode::Copy:
        break;
    }
    return QPainter::CompositionMode_SourceOver;
}

TTraceDraw::TTraceDraw(QImage& target, QRgb colour, TPenMode mode, int penWidth, QImage* scratch)
    : Target(target), Scratch(scratch), Canvas(&target), SpanValue(colour | 0xFF000000u),
      Mode(mode), Thin(penWidth <= 1), Colour(colour), PenWidth(penWidth) {
    if (Mode == TPenMode::Xor) {
        if (Scratch == nullptr) Scratch = &OwnScratch;
        if (Scratch->size() != Target.size() || Scratch->format() != QImage::Format_Grayscale8)
            *Scratch = QImage(Target.size(), QImage::Format_Grayscale8);
        Scratch->fill(0);
        Canvas = Scratch;
        SpanValue = 0xFF;
    }
}

TTraceDraw::~TTraceDraw() {
    Finish();
}

void TTraceDraw::FlushSpan() {
    SpanOpen = false;
    if (SpanX < 0 || SpanX >= Canvas->width()) return;
    const int lo = std::max(SpanLo, 0), hi = std::min(SpanHi, Canvas->height() - 1);
    if (lo > hi) return;
    const qsizetype bpl = Canvas->bytesPerLine();
    uchar* row = Canvas->bits() + lo * bpl;
    if (Canvas == &Target) {
        row += static_cast<qsizetype>(SpanX) * 4;
        if (Mode == TPenMode::Mask) {
            for (int y = lo; y <= hi; y++, row += bpl)
                *reinterpret_cast<uint32_t*>(row) &= SpanValue;
        } else {
            for (int y = lo; y <= hi; y++, row += bpl)
                *reinterpret_cast<uint32_t*>(row) = SpanValue;
        }
    } else {
        row += SpanX;
        for (int y = lo; y <= hi; y++, row += bpl)
            *row = 0xFF;
    }
}

void TTraceDraw::FlushLines() {
    if (LineCount == 0) return;
    if (!Painted) {
        Painted = true;
        Painter.begin(Canvas);
        Painter.setRenderHint(QPainter::Antialiasing, false);
        if (Canvas == &Target) {
            Painter.setCompositionMode(PenModeComposition(Mode));
            Painter.setPen(QPen(QColor(Colour), PenWidth));
        } else {
            Painter.setPen(QPen(QColor(Qt::white), PenWidth));
        }
    }
    Painter.drawLines(Lines.data(), static_cast<int>(LineCount));
    LineCount = 0;
}

void TTraceDraw::Finish() {
    if (SpanOpen) FlushSpan();
    FlushLines();
    if (Painter.isActive()) Painter.end();
    HasPrev = false;
    if (Mode != TPenMode::Xor || Canvas != Scratch) return;
    // Toggle every covered pixel once.
    const uint32_t x = Colour & 0x00FFFFFFu;
    const int w = Target.width(), h = Target.height();
    for (int y = 0; y < h; y++) {
        const uchar* m = Scratch->constScanLine(y);
        auto* d = reinterpret_cast<uint32_t*>(Target.scanLine(y));
        for (int i = 0; i < w; i++)
            if (m[i] != 0) d[i] ^= x;
    }
    Canvas = &Target; // done: a second Finish changes nothing
    Mode = TPenMode::Copy;
    SpanValue = Colour | 0xFF000000u;
}
