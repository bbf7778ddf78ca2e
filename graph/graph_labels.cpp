// Axis labels: texts, placement and thinning on screen, and the printed variants.
#include "graph_fft.h"

#include "ui_font.h"

namespace {

void SetLabel(QLabel* l, const std::string& text) {
    if (l == nullptr) return;
    const QString q = QString::fromStdString(text);
    // A redraw sets every label again: one that already shows its text at its size is left
    // alone, so that it is not laid out and repainted for nothing.
    if (l->text() == q && l->size() == l->sizeHint()) return;
    l->setText(q);
    l->adjustSize(); // labels size themselves to their text
}

TLabelSize SizeOf(const QLabel* l) {
    return l == nullptr ? TLabelSize{} : TLabelSize{l->width(), l->height()};
}

TLabelPlace PlaceOf(const QLabel* l) {
    return l == nullptr ? TLabelPlace{} : TLabelPlace{l->x(), l->y(), !l->isHidden()};
}

void Apply(QLabel* l, const TLabelPlace& p) {
    if (l == nullptr) return;
    l->move(p.left, p.top);
    l->setVisible(p.visible);
}

// Canvas state of every printed label: black text on white, copy mode, 9 points.
void PrepareCanvas(QPainter& c) {
    c.setBrush(Qt::white);
    c.setPen(Qt::black);
    c.setCompositionMode(QPainter::CompositionMode_SourceOver);
    c.setBackgroundMode(Qt::OpaqueMode);
    c.setBackground(Qt::white);
    QFont f(QString::fromUtf8(FORM_FONT_FAMILY));
    f.setPointSize(9);
    c.setFont(f);
}

void WriteText(QPainter& c, const TPrintPos& p, const QLabel* l) {
    if (!p.write || l == nullptr) return;
    c.drawText(QRect(p.x, p.y, 1 << 16, 1 << 16), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
               l->text());
}

} // namespace

std::string TGraph_FFT::FormatTimeSpan(float t) {
    return ::FormatTimeSpan(t);
}

void TGraph_FFT::SetFreqLabelTexts() {
    if (pFFTSetting == nullptr) return;
    if (FreqCustom()) {
        ViewTicks = FreqAxisTicks(FreqView.Lo(), FreqView.Hi(), FreqView.IsLog());
        if (ViewTicks.size() > FreqLabels.size()) {
            // Every other inner tick until they fit; the ends stay.
            std::vector<TAxisTick> thin{ViewTicks.front()};
            const size_t inner = ViewTicks.size() - 2, keep = FreqLabels.size() - 2;
            for (size_t i = 0; i < keep; i++)
                thin.push_back(ViewTicks[1 + (i * inner) / keep]);
            thin.push_back(ViewTicks.back());
            ViewTicks = std::move(thin);
        }
        for (size_t i = 0; i < ViewTicks.size(); i++)
            SetLabel(FreqLabels[i], ViewTicks[i].text);
        return;
    }
    ViewTicks.clear();
    TFreqTexts texts;
    const int n = FreqLabelTexts(*pFFTSetting, texts);
    for (int i = 0; i < n; i++)
        SetLabel(FreqLabels[static_cast<size_t>(i)], texts[static_cast<size_t>(i)]);
}

void TGraph_FFT::SetdBLabelTexts() {
    if (pFFTSetting == nullptr) return;
    // The noise density's axis ends read "dBV/√Hz".
    const bool density = pExtSetting != nullptr && pExtSetting->spectrumScale == 2;
    for (int i = 0; i < DB_LABEL_COUNT; i++) {
        std::string t = dBLabelText(i, *pFFTSetting);
        if (density && t.ends_with("dBV")) t += "/√Hz";
        SetLabel(dBLabels[static_cast<size_t>(i)], t);
    }
}

void TGraph_FFT::SetVoltLabelTexts() {
    if (pFFTSetting == nullptr) return;
    const TVoltTexts t = pFFTSetting->fSig_Volt == 1 ? VoltLabelTexts(VoltTop, VoltBottom)
                                                     : CodeLabelTexts(CodeMax, CodeMin);
    SetLabel(LabelVoltmax, t.text[VL_MAX]);
    SetLabel(LabelVoltzero, t.text[VL_ZERO]);
    SetLabel(LabelVoltmin, t.text[VL_MIN]);
    SetLabel(LabelVoltUnit, t.text[VL_UNIT]);
}

void TGraph_FFT::SetTimeLabelTexts() {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    if (TimeZoomed()) {
        const double t0 = TimeView.Lo(), t1 = TimeView.Hi();
        SetLabel(LabelTimeS, ZoomTimeText(t0, t1 - t0));
        SetLabel(LabelTimeE, ZoomTimeText(t1, t1 - t0));
        return;
    }
    SetLabel(LabelTimeS, "0");
    // While a block is being collected the waveform shows it alone, on its whole span.
    const bool live = LiveBlockSamples > BlockCount(*pSigData) && BlockCount(*pSigData) > 0;
    SetLabel(LabelTimeE, ::FormatTimeSpan(
                             live ? WaveAxisSpan(*pSigData)
                                  : TimeAxisSpan(*pSigData, *pRefData, *pADSetting, *pFFTSetting)));
}

void TGraph_FFT::PlaceFreqLabels() {
    if (pFFTSetting == nullptr || !SpecBox) return;
    std::array<TLabelSize, FREQ_LABEL_COUNT> size;
    std::array<TLabelPlace, FREQ_LABEL_COUNT> place;
    for (size_t i = 0; i < FreqLabels.size(); i++) {
        size[i] = SizeOf(FreqLabels[i]);
        place[i] = PlaceOf(FreqLabels[i]);
    }
    const TBoxRect box{SpecBox->x(), SpecBox->y(), SpecBox->width(), SpecBox->height()};
    if (FreqCustom()) {
        std::vector<double> centre;
        std::vector<int> width;
        for (size_t i = 0; i < ViewTicks.size(); i++) {
            centre.push_back(FreqView.ToPixel(ViewTicks[i].value, box.W));
            width.push_back(size[i].w);
        }
        const std::vector<TAxisLabelPlace> at = PlaceAxisLabels(centre, width, box.L, box.W, 4);
        for (size_t i = 0; i < FreqLabels.size(); i++) {
            const bool used = i < at.size();
            Apply(FreqLabels[i],
                  {used ? at[i].left : place[i].left, box.T + box.H + 5, used && at[i].visible});
        }
        return;
    }
    if (!PlaceFreqLabelsCalc(*pFFTSetting, box, size, place)) return;
    for (size_t i = 0; i < FreqLabels.size(); i++)
        Apply(FreqLabels[i], place[i]);
}

void TGraph_FFT::PlacedBLabels() {
    if (pFFTSetting == nullptr || !SpecBox) return;
    std::array<TLabelSize, DB_LABEL_COUNT> size;
    std::array<TLabelPlace, DB_LABEL_COUNT> place;
    for (size_t i = 0; i < dBLabels.size(); i++)
        size[i] = SizeOf(dBLabels[i]);
    const TBoxRect box{SpecBox->x(), SpecBox->y(), SpecBox->width(), SpecBox->height()};
    if (!PlacedBLabelsCalc(*pFFTSetting, box, size, place)) return;
    for (size_t i = 0; i < dBLabels.size(); i++)
        Apply(dBLabels[i], place[i]);
}

void TGraph_FFT::PlaceVoltLabels() {
    if (!WaveBox) return;
    const std::array<QLabel*, VOLT_LABEL_COUNT> labels{LabelVoltmax, LabelVoltzero, LabelVoltmin,
                                                       LabelVoltUnit};
    std::array<TLabelSize, VOLT_LABEL_COUNT> size;
    std::array<TLabelPlace, VOLT_LABEL_COUNT> place;
    for (size_t i = 0; i < labels.size(); i++)
        size[i] = SizeOf(labels[i]);
    PlaceVoltLabelsCalc({WaveBox->x(), WaveBox->y(), WaveBox->width(), WaveBox->height()}, size,
                        place);
    for (size_t i = 0; i < labels.size(); i++)
        if (labels[i] != nullptr) labels[i]->move(place[i].left, place[i].top);
}

void TGraph_FFT::PlaceTimeLabels() {
    if (!WaveBox) return;
    const std::array<QLabel*, TIME_LABEL_COUNT> labels{LabelTimeS, LabelTimeE};
    std::array<TLabelSize, TIME_LABEL_COUNT> size{SizeOf(LabelTimeS), SizeOf(LabelTimeE)};
    std::array<TLabelPlace, TIME_LABEL_COUNT> place;
    PlaceTimeLabelsCalc({WaveBox->x(), WaveBox->y(), WaveBox->width(), WaveBox->height()}, size,
                        place);
    for (size_t i = 0; i < labels.size(); i++)
        if (labels[i] != nullptr) labels[i]->move(place[i].left, place[i].top);
}

void TGraph_FFT::PrintFreqLabels(QPainter& canvas, float s, const TPrintRect& r) {
    if (pFFTSetting == nullptr) return;
    SetFreqLabelTexts();
    PrepareCanvas(canvas);
    std::array<TLabelSize, FREQ_LABEL_COUNT> size;
    for (size_t i = 0; i < FreqLabels.size(); i++)
        size[i] = SizeOf(FreqLabels[i]);
    std::array<TPrintPos, FREQ_LABEL_COUNT> pos;
    if (FreqCustom()) {
        std::vector<double> centre;
        std::vector<int> width;
        const int W = r.right - r.left;
        for (size_t i = 0; i < ViewTicks.size(); i++) {
            centre.push_back(FreqView.ToPixel(ViewTicks[i].value, W));
            width.push_back(TruncPixel(size[i].w * static_cast<double>(s)));
        }
        const std::vector<TAxisLabelPlace> at =
            PlaceAxisLabels(centre, width, r.left, W, TruncPixel(4.0 * s));
        const int y = TruncPixel(5.0 * s) + r.bottom;
        for (size_t i = 0; i < at.size(); i++)
            WriteText(canvas, {at[i].left, y, at[i].visible}, FreqLabels[i]);
        return;
    }
    if (!PrintFreqLabelPositions(*pFFTSetting, r, s, size, pos)) return;
    for (size_t i = 0; i < FreqLabels.size(); i++)
        WriteText(canvas, pos[i], FreqLabels[i]);
}

void TGraph_FFT::PrintdBLabels(QPainter& canvas, float s, const TPrintRect& r) {
    if (pFFTSetting == nullptr) return;
    SetdBLabelTexts();
    PrepareCanvas(canvas);
    std::array<TLabelSize, DB_LABEL_COUNT> size;
    for (size_t i = 0; i < dBLabels.size(); i++)
        size[i] = SizeOf(dBLabels[i]);
    std::array<TPrintPos, DB_LABEL_COUNT> pos;
    if (!PrintdBLabelPositions(*pFFTSetting, r, s, size, pos)) return;
    for (size_t i = 0; i < dBLabels.size(); i++)
        WriteText(canvas, pos[i], dBLabels[i]);
}

void TGraph_FFT::PrintVoltLabels(QPainter& canvas, float s, const TPrintRect& r) {
    if (pFFTSetting == nullptr) return;
    SetVoltLabelTexts();
    PrepareCanvas(canvas);
    const std::array<QLabel*, VOLT_LABEL_COUNT> labels{LabelVoltmax, LabelVoltzero, LabelVoltmin,
                                                       LabelVoltUnit};
    std::array<TLabelSize, VOLT_LABEL_COUNT> size;
    for (size_t i = 0; i < labels.size(); i++)
        size[i] = SizeOf(labels[i]);
    std::array<TPrintPos, VOLT_LABEL_COUNT> pos;
    PrintVoltLabelPositions(r, s, size, pos);
    for (size_t i = 0; i < labels.size(); i++)
        WriteText(canvas, pos[i], labels[i]);
}

void TGraph_FFT::PrintTimeLabels(QPainter& canvas, float s, const TPrintRect& r) {
    if (pFFTSetting == nullptr) return;
    SetTimeLabelTexts();
    PrepareCanvas(canvas);
    std::array<TLabelSize, TIME_LABEL_COUNT> size{SizeOf(LabelTimeS), SizeOf(LabelTimeE)};
    std::array<TPrintPos, TIME_LABEL_COUNT> pos;
    PrintTimeLabelPositions(r, s, size, pos);
    WriteText(canvas, pos[TL_START], LabelTimeS);
    WriteText(canvas, pos[TL_END], LabelTimeE);
}
