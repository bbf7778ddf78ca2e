// Peak readouts: the largest line, stepping bin by bin, the bin under the mouse.
#include "graph_fft.h"

#include "readout_text.h"
#include "signal_stats.h"

namespace {

void SetEdit(QLineEdit* e, const std::string& text) {
    if (e != nullptr) e->setText(QString::fromStdString(text));
}

} // namespace

void TGraph_FFT::WriteReadouts(const TSignalData& sig, int bin, TPeakEdits& edits,
                               QLabel* unitLabel) {
    const TValueText volt =
        PeakVoltText(sig.pSpectrum[bin], pExtSetting ? pExtSetting->spectrumScale : 0);
    SetEdit(edits.EditPeakVolt, volt.number);
    edits.PeakVoltUnit = volt.unit;
    if (unitLabel != nullptr) {
        unitLabel->setText(QString::fromStdString(volt.unit));
        unitLabel->adjustSize();
    }
    SetEdit(edits.EditPeakdB, PeakdBText(SigdB[static_cast<size_t>(bin)]));
    SetEdit(edits.EditPeakHz, PeakHzText(bin, sig.deltaF));
    if (SpecBox) SpecBox->update(); // the marker follows the readouts
}

void TGraph_FFT::ShowPeak(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt) {
    if (BlockBinCount(sig) == 0) return;
    const int bin = FindPeakBin(sig.pSpectrum, BlockCount(sig));
    if (bin < 1) return;
    PeakBin = CursorBin = bin;
    WriteReadouts(sig, bin, edits, labelPeakVolt);
}

void TGraph_FFT::PeakForward(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt) {
    const int n = BlockCount(sig);
    if (BlockBinCount(sig) == 0 || CursorBin >= LastBin(n)) return;
    CursorBin = ClampBin(CursorBin + 1, n);
    WriteReadouts(sig, CursorBin, edits, labelPeakVolt);
}

void TGraph_FFT::PeakBack(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt) {
    const int n = BlockCount(sig);
    if (BlockBinCount(sig) == 0 || CursorBin == 1) return;
    CursorBin = ClampBin(CursorBin - 1, n);
    WriteReadouts(sig, CursorBin, edits, labelPeakVolt);
}

void TGraph_FFT::ShowBin(int bin, TPeakEdits& edits, QLabel* labelPeakVolt) {
    if (bin < 0 || BlockBinCount(*pSigData) == 0) return;
    const int b = ClampBin(bin, BlockCount(*pSigData));
    if (b < 1) return;
    CursorBin = b;
    WriteReadouts(*pSigData, b, edits, labelPeakVolt);
}

int TGraph_FFT::XToBin(int width, int x) const {
    if (pFFTSetting == nullptr) return -1;
    const TSignalData& sig = *pSigData;
    const bool log = pFFTSetting->fLogGraph == 1;
    if (width <= 0 || !(sig.deltaF > 0)) return -1;
    if (FreqCustom()) {
        const double f = FreqView.FromPixel(x, width);
        return ClampBin(TruncPixel(f / sig.deltaF), BlockCount(sig));
    }
    if (log ? !GridLogAxis(FreqS(), FreqE()).valid : !(FreqE() > 0)) return -1;
    const int bin = log ? LogXToBin(width, x, FreqS(), FreqE(), sig.deltaF)
                        : LinXToBin(width, x, FreqE(), sig.deltaF);
    return ClampBin(bin, BlockCount(sig));
}

double TGraph_FFT::CodeToMicroVolt(uint32_t code) {
    return ::CodeToMicroVolt(code);
}

double TGraph_FFT::CodeCountToMicroVolt(uint32_t n) {
    return ::CodeCountToMicroVolt(n);
}
