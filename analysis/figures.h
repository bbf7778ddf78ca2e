// The figures a converter is judged by: SNR, THD, SINAD, SFDR, ENOB, noise density and band
// noise from the windowed power spectrum, and the noise and resolution figures straight from
// the codes. Everything is computed in double precision from the raw codes; the displayed
// spectrum stays single precision and is not used here (an average of blocks comes in as the
// average of their FigurePowerSpectrum, see TSpectrumAverager::PowerResult).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TFiguresInput {
    const uint32_t* codes = nullptr;
    int n = 0;             // number of codes
    int window = 1;        // 0 rectangular, 1 Hanning, 2 Hamming, 3 flat-top
    double deltaF = 0.0;   // Hz per bin: 1000 / (period ms * n)
    double bandLoHz = 0.0; // band of band_noise_v; bandHiHz < 0: up to the last bin
    double bandHiHz = -1.0;
};

struct THarmonicFigure {
    int order = 0;
    double hz = 0.0;
    double vrms = 0.0;
    double dbc = 0.0;
};

struct TFigures {
    // From the codes; valid whenever n >= 1.
    double mean_v = 0.0;
    double mean_code = 0.0;
    double noise_rms_v = 0.0;
    double noise_rms_code = 0.0;
    double noise_pp_v = 0.0;
    double noise_pp_code = 0.0;
    double effective_bits = 0.0;
    double noise_free_bits = 0.0;

    // From the spectrum; only when spectral is true (n a power of two, at least 64, and a
    // fundamental above the DC bins). Ratios of zero powers are +-infinity.
    bool spectral = false;
    double fundamental_hz = 0.0;
    double fundamental_vrms = 0.0;
    double fundamental_dbfs = 0.0;
    double snr_db = 0.0;
    double thd_db = 0.0;
    double sinad_db = 0.0;
    double sfdr_db = 0.0;
    double enob_bits = 0.0;
    std::vector<THarmonicFigure> harmonics; // orders 2..6 that do not touch DC, the
                                            // fundamental or an earlier harmonic
    double noise_density_v_rthz = 0.0;
    double band_noise_v = 0.0;
};

// Where a frequency of pos bins lands in a spectrum of n samples: pos mod n, then mirrored
// about n/2 (a harmonic above half the rate folds back).
double FoldBin(double pos, int n);

// Half-width in bins of a component under the window (1, 3, 3, 6).
int FigureHalfWidth(int window);

// False (figures untouched) without codes or for an unknown window. The spectral figures are
// those of SpectralFigures on FigurePowerSpectrum of the codes.
bool ComputeFigures(const TFiguresInput& in, TFigures& out);

// The spectral figures (spectral, fundamental, SNR .. band noise; the code figures untouched)
// from a one-sided power spectrum power[k], V^2 per bin for k = 0..n/2-1 as
// FigurePowerSpectrum makes it, of a block of in.n samples under in.window (in.codes unused).
// Returns out.spectral: false, and every spectral figure cleared, when n is not a power of two
// of at least 64, deltaF is not positive, the spectrum is short or there is no fundamental.
bool SpectralFigures(const double* power, size_t bins, const TFiguresInput& in, TFigures& out);

// One-sided power per bin, S[k] = 2|X[k]|^2 / (N sum w^2) for k = 1..n/2-1 (S[0] = 0), of the
// mean-removed, windowed volts; n must be a power of two of at least 4.
bool FigurePowerSpectrum(const uint32_t* codes, int n, int window, std::vector<double>& power);
