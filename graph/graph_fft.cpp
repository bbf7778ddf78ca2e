// The graph object: construction, layout of the boxes, bitmap sizing, painting, the blank
// state and the scales.
#include "graph_fft.h"

#include <algorithm>

#include "signal_stats.h"
#include "tables.h"

namespace {

const TSignalData kNoData{};

} // namespace

void TGraphBitmap::SetSize(int w, int h) {
    w = std::max(w, 1);
    h = std::max(h, 1);
    if (Image.width() != w || Image.height() != h || Image.format() != QImage::Format_RGB32)
        Image = QImage(w, h, QImage::Format_RGB32);
}

TGraph_FFT::TGraph_FFT(QWidget* mainForm, TPaintBox* paintBox1, TPaintBox* paintBox3,
                       const TGraphLabels& graphLabels, const TSignalData* refData,
                       const TSignalData* sigData, const TADSetting* adSetting,
                       const TFFTSetting* fftSetting)
    : pFFTSetting(fftSetting), pADSetting(adSetting),
      pSigData(sigData != nullptr ? sigData : &kNoData),
      pRefData(refData != nullptr ? refData : &kNoData), SigdB(SPEC_BUF_LEN, 0.0f),
      RefdB(SPEC_BUF_LEN, 0.0f) {
    if (BlockCount(*pSigData) == 0) {
        CodeMax = 0x800000C8u;
        CodeMin = 0x7FFFFF38u;
    }
    MainForm = mainForm;
    SpecBox = paintBox1;
    WaveBox = paintBox3;
    size_t n = 0;
    for (auto& l : FreqLabels)
        l = graphLabels[n++];
    for (auto& l : dBLabels)
        l = graphLabels[n++];
    LabelVoltmax = graphLabels[n++];
    LabelVoltzero = graphLabels[n++];
    LabelVoltmin = graphLabels[n++];
    LabelVoltUnit = graphLabels[n++];
    LabelTimeS = graphLabels[n++];
    LabelTimeE = graphLabels[n++];
    for (QLabel* l : graphLabels)
        if (l != nullptr) l->adjustSize();
    ResizeBitmaps();
    ConnectBoxes();
}

TGraph_FFT::~TGraph_FFT() {
    // The boxes may outlive this object: they must not keep pointing at our bitmaps, nor
    // call into it.
    for (const auto& c : BoxConnections)
        QObject::disconnect(c);
    for (TPaintBox* box : {SpecBox.data(), WaveBox.data()})
        if (box != nullptr) {
            box->SetOverlay({});
            box->ShowBlank();
        }
}

float TGraph_FFT::FreqS() const {
    if (FreqCustom()) return static_cast<float>(FreqView.Lo());
    return FreqScaleValue(pFFTSetting->index_FreqS);
}
float TGraph_FFT::FreqE() const {
    if (FreqCustom()) return static_cast<float>(FreqView.Hi());
    return FreqScaleValue(pFFTSetting->index_FreqE);
}

void TGraph_FFT::ResizeBitmaps() {
    if (!SpecBox || !WaveBox || pFFTSetting == nullptr || pADSetting == nullptr) return;
    const auto size = [](TPaintBox* box, TGraphBitmap& bmp, int& bw, int& bh, int& mw, int& mh,
                         QRect& frame, QRect& dest, QRect& src) {
        bw = box->width();
        bh = box->height();
        bmp.SetSize(bw - 2, bh - 2);
        mw = bmp.Width();
        mh = bmp.Height();
        frame = QRect(0, 0, bw, bh);
        dest = QRect(1, 1, mw, mh);
        src = QRect(0, 0, mw, mh);
    };
    size(SpecBox, SpecBitmap, SpecBoxWidth, SpecBoxHeight, SpecBitmapWidth, SpecBitmapHeight,
         SpecFrameRect, SpecDestRect, SpecSrcRect);
    if (pFFTSetting->fWaveGraph == 1)
        size(WaveBox, WaveBitmap, WaveBoxWidth, WaveBoxHeight, WaveBitmapWidth, WaveBitmapHeight,
             WaveFrameRect, WaveDestRect, WaveSrcRect);
}

void TGraph_FFT::PaintSpectrum() {
    if (SpecBox) SpecBox->ShowBitmap(&SpecBitmap.Image, SpecFrameRect, SpecDestRect, SpecSrcRect);
}

void TGraph_FFT::PaintWave() {
    if (WaveBox) WaveBox->ShowBitmap(&WaveBitmap.Image, WaveFrameRect, WaveDestRect, WaveSrcRect);
}

void TGraph_FFT::PaintGraphs() {
    if (pFFTSetting == nullptr) return;
    PaintSpectrum();
    if (pFFTSetting->fWaveGraph == 1) PaintWave();
}

void TGraph_FFT::ClearGraphs() {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    if (SpecBox) SpecBox->ShowBlank();
    if (WaveBox && !WaveBox->isHidden()) WaveBox->ShowBlank();
    SpecDrawn = WaveDrawn = false;
    UpdateFreqView();
    SpecBitmap.Image.fill(Qt::white);
    WaveBitmap.Image.fill(Qt::white);
    if (pFFTSetting->fLogGraph == 1)
        DrawLogGrid(SpecBitmap);
    else
        DrawLinGrid(SpecBitmap);
    if (pFFTSetting->fWaveGraph == 1) DrawEmptyWaveGrid();
}

void TGraph_FFT::SetVoltRange(const TVoltRange& r) {
    VoltTop = r.top;
    VoltBottom = r.bottom;
}

void TGraph_FFT::SetCodeRange(const TCodeRange& r) {
    CodeMax = r.max;
    CodeMin = r.min;
}

void TGraph_FFT::UpdateScales() {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    UpdateFreqView();
    const bool dcCut = pFFTSetting->fDCCut_SigGraph == 1;
    const bool hasSig = BlockCount(*pSigData) > 0, hasRef = BlockCount(*pRefData) > 0;
    if (hasSig && hasRef) {
        SetCodeRange(CodeRangeBoth(*pSigData, *pRefData));
        SetVoltRange(VoltRangeBoth(*pSigData, *pRefData, dcCut));
    } else {
        if (hasSig) {
            SetCodeRange(CodeRangeOne(*pSigData));
            SetVoltRange(VoltRangeOne(*pSigData, dcCut));
        }
        if (hasRef) {
            SetCodeRange(CodeRangeOne(*pRefData));
            SetVoltRange(VoltRangeOne(*pRefData, dcCut));
        }
    }
    SetFreqLabelTexts();
    SetdBLabelTexts();
    if (pFFTSetting->fWaveGraph == 1) {
        SetVoltLabelTexts();
        SetTimeLabelTexts();
    }
}

void TGraph_FFT::LayoutGraphs() {
    if (!MainForm || !SpecBox || !WaveBox || pFFTSetting == nullptr) return;
    const QSize outer = MainFormSize ? MainFormSize() : MainForm->frameGeometry().size();
    const int FW = outer.width(), FH = outer.height();
    const auto setVisible = [](QLabel* l, bool v) {
        if (l != nullptr) l->setVisible(v);
    };
    const std::array<QLabel*, 6> waveLabels{LabelVoltUnit, LabelVoltmax, LabelVoltzero,
                                            LabelVoltmin,  LabelTimeS,   LabelTimeE};
    // The labels left of the boxes have their texts (UpdateScales comes first): a label wider
    // than the margin moves both boxes right, keeping their right edge.
    const bool wave = pFFTSetting->fWaveGraph == 1;
    int widest = 0;
    for (const QLabel* l : dBLabels)
        if (l != nullptr) widest = std::max(widest, l->width());
    if (wave)
        for (const QLabel* l : {LabelVoltmax, LabelVoltzero, LabelVoltmin, LabelVoltUnit})
            if (l != nullptr) widest = std::max(widest, l->width());
    const int L = GraphBoxLeft(widest), W = FW - 216 - (L - GRAPH_BOX_LEFT);
    if (wave) {
        const int h = (FH - 145) / 2;
        WaveBox->setGeometry(L, 16, W, h);
        PlaceVoltLabels();
        PlaceTimeLabels();
        SpecBox->setGeometry(L, h + 41, W, h);
        PlacedBLabels();
        PlaceFreqLabels();
        SpecBox->show();
        WaveBox->show();
        for (QLabel* l : waveLabels)
            setVisible(l, true);
    } else {
        SpecBox->setGeometry(L, 16, W, FH - 120);
        PlaceFreqLabels();
        PlacedBLabels();
        SpecBox->show();
        WaveBox->hide();
        for (QLabel* l : waveLabels)
            setVisible(l, false);
    }
}

uint32_t TGraph_FFT::GetCodeMax() {
    SetCodeRange(CodeRangeOne(*pSigData));
    return CodeMax;
}

uint32_t TGraph_FFT::GetCodeMin() {
    SetCodeRange(CodeRangeOne(*pSigData));
    return CodeMin;
}

void TGraph_FFT::DrawGraphs(bool dataValid, bool refValid) {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    const bool wave = pFFTSetting->fWaveGraph == 1;
    if (dataValid && refValid) {
        DrawSpectrumWithRef();
        if (wave) DrawWaveWithRef();
    } else if (dataValid || refValid) {
        const int which = dataValid ? 0 : 1;
        DrawSpectrum(which);
        if (wave) DrawWave(which);
    } else {
        return;
    }
    if (wave) {
        UpdateScales();
        LayoutGraphs();
    }
}
