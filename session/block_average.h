// Spectrum averaging over continuous blocks: the block's spectrum (as the pipeline made it)
// goes into the averager and the average takes its place, so that the graph, the readouts and
// every figure computed from sig.pSpectrum afterwards see the averaged spectrum.
#pragma once

#include "block_pipeline.h"
#include "spectrum_average.h"

// The averaging TExtSetting asks for: mode 0..3 and its block count (clamped to what the
// averager holds).
void SetupAverager(TSpectrumAverager& avg, int32_t averageMode, int32_t averageCount);

// After RunBlockPipeline returned Ok for sig: adds its bins 0..n/2-1 to avg, writes the average
// back into sig.pSpectrum and recomputes out's RMS and largest line from it (the RMS in the
// scale the pipeline used). With the codes, their FigurePowerSpectrum under fft's window goes
// into avg's power average too. Averaging Off leaves sig and out as they are.
void AverageBlockSpectrum(TSignalData& sig, const TFFTSetting& fft, TSpectrumAverager& avg,
                          TBlockReadouts& out);

// "平均 7/16" (peak hold: "ピーク保持 7"); empty without averaging.
std::string AverageCountText(const TSpectrumAverager& avg);
