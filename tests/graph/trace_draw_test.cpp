// The fast trace renderer against QPainter drawing every segment.
#include <gtest/gtest.h>

#include <QPainter>
#include <random>
#include <vector>

#include "trace_draw.h"

namespace {

using Points = std::vector<QPoint>;

QImage Base(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(QColor(0x80, 0x80, 0x80));
    for (int y = 0; y < h; y += 7)
        p.drawLine(0, y, w, y);
    p.setPen(QColor(0x20, 0xC0, 0x40));
    for (int x = 0; x < w; x += 11)
        p.drawLine(x, 0, x, h);
    return img;
}

std::vector<QLine> Segments(const Points& pts) {
    std::vector<QLine> l;
    for (size_t i = 1; i < pts.size(); i++)
        l.emplace_back(pts[i - 1], pts[i]);
    return l;
}

QImage EverySegment(QImage img, const Points& pts, QRgb c, TPenMode mode, int width) {
    QPainter p(&img);
    p.setCompositionMode(PenModeComposition(mode));
    p.setPen(QPen(QColor(c), width));
    const auto l = Segments(pts);
    p.drawLines(l.data(), static_cast<int>(l.size()));
    return img;
}

QImage Fast(QImage img, const Points& pts, QRgb c, TPenMode mode, int width) {
    QImage scratch;
    TTraceDraw t(img, c, mode, width, &scratch);
    for (const QPoint& q : pts)
        t.Point(q.x(), q.y());
    t.Finish();
    return img;
}

// A sampled noisy signal: n points over w columns, as a waveform trace maps them.
Points Wave(int n, int w, int h, unsigned seed, int overshoot = 0) {
    std::mt19937 g(seed);
    std::normal_distribution<double> noise(0, h / 10.0);
    Points p;
    for (int i = 0; i < n; i++) {
        const double y = h / 2.0 + (h / 3.0 + overshoot) * std::sin(i * 0.002) + noise(g);
        p.emplace_back(static_cast<int>((static_cast<int64_t>(w) * i) / n), static_cast<int>(y));
    }
    return p;
}

// Points that jump around, leave the bitmap on every side and repeat.
Points Wild(unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_int_distribution<int> x(-30, 130), y(-40, 120), step(0, 3);
    Points p;
    int cx = 10;
    for (int i = 0; i < 3000; i++) {
        if (i % 50 == 0) cx = x(g);
        cx += step(g) == 0 ? 1 : 0;
        p.emplace_back(cx, y(g));
    }
    return p;
}

const QRgb kRed = qRgb(255, 0, 0), kGrey = qRgb(0x80, 0x80, 0x80), kBlue = qRgb(0, 0, 255);

} // namespace

TEST(GraphTraceDraw, CopyAndMaskEqualEverySegment) {
    const std::vector<Points> cases{Wave(20000, 200, 90, 1), Wave(150, 200, 90, 2),
                                    Wave(5000, 200, 90, 3, 60), Wild(4), Wild(5)};
    for (size_t k = 0; k < cases.size(); k++) {
        for (TPenMode mode : {TPenMode::Copy, TPenMode::Mask}) {
            for (QRgb c : {kRed, kGrey}) {
                const QImage base = Base(200, 90);
                EXPECT_EQ(Fast(base, cases[k], c, mode, 1),
                          EverySegment(base, cases[k], c, mode, 1))
                    << "case " << k << " mode " << static_cast<int>(mode);
            }
        }
    }
}

TEST(GraphTraceDraw, WidePensAreDrawnSegmentBySegment) {
    const Points p = Wave(3000, 200, 90, 6);
    const QImage base = Base(200, 90);
    EXPECT_EQ(Fast(base, p, kRed, TPenMode::Copy, 5),
              EverySegment(base, p, kRed, TPenMode::Copy, 5));
    EXPECT_EQ(Fast(base, p, kGrey, TPenMode::Mask, 5),
              EverySegment(base, p, kGrey, TPenMode::Mask, 5));
}

TEST(GraphTraceDraw, XorTogglesEveryTracePixelOnce) {
    for (const Points& p : {Wave(20000, 200, 90, 7), Wild(8)}) {
        const QImage base = Base(200, 90);
        // Coverage of the whole trace: every segment in copy mode on white.
        QImage white(200, 90, QImage::Format_RGB32);
        white.fill(Qt::white);
        const QImage cover = EverySegment(white, p, qRgb(0, 0, 0), TPenMode::Copy, 1);
        QImage expect = base;
        for (int y = 0; y < 90; y++)
            for (int x = 0; x < 200; x++)
                if ((cover.pixel(x, y) & 0xFFFFFF) == 0)
                    expect.setPixel(x, y, (base.pixel(x, y) ^ (kBlue & 0xFFFFFF)) | 0xFF000000);
        const QImage got = Fast(base, p, kBlue, TPenMode::Xor, 1);
        EXPECT_EQ(got, expect);
        // Drawing the same trace again restores the picture.
        EXPECT_EQ(Fast(got, p, kBlue, TPenMode::Xor, 1), base);
    }
}

TEST(GraphTraceDraw, ColoursAndModes) {
    EXPECT_EQ(ColorRefToRgb(255), qRgb(255, 0, 0));
    EXPECT_EQ(ColorRefToRgb(0x00FF0000), qRgb(0, 0, 255));
    EXPECT_EQ(ColorRefToRgb(0x808080), qRgb(0x80, 0x80, 0x80));
    // An empty trace and a single point draw nothing but the point itself.
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    { TTraceDraw t(img, kRed, TPenMode::Copy, 1, nullptr); }
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
    {
        TTraceDraw t(img, kRed, TPenMode::Copy, 1, nullptr);
        t.Point(3, 3);
        t.Point(3, 3);
    }
    EXPECT_EQ(img.pixel(3, 3), kRed);
}
