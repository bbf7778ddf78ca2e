// Marker arithmetic on an amplitude spectrum (bins 1..n/2-1): the next line left or right
// that stands out of the noise, the largest bin near a pointer, and the harmonics of a
// fundamental folded into the spectrum.
#pragma once

#include <vector>

// The median of bins 1..n/2-1: the noise floor a line must stand out of. 0 without bins.
float SpectrumMedian(const float* spectrum, int n);

// The nearest local maximum beyond `from` in direction dir (+1 right, -1 left) whose value is
// above floor * 10^(marginDb / 20); `from` itself when there is none. Ties on a flat top count
// once, at their first bin. With the median as the floor, 15 dB leaves about one noise bin
// in three thousand million above the line (Rayleigh amplitudes).
int NextPeakBin(const float* spectrum, int n, int from, int dir, float floor,
                float marginDb = 15.0f);

// The next line, not a wiggle on the flank of a line: the nearest local maximum above the
// noise (as NextPeakBin) from which the spectrum falls at least dipDb on both sides before it
// rises higher (its prominence). A window's skirt around a strong line is full of maxima above
// the noise; they are skipped. `from` itself when there is none.
int NextLineBin(const float* spectrum, int n, int from, int dir, float floor,
                float marginDb = 15.0f, float dipDb = 10.0f);

// The largest bin within radius of bin (clamped to 1..n/2-1); -1 without bins.
int SnapToPeak(const float* spectrum, int n, int bin, int radius);

// Bins of the harmonics 2..last of a fundamental at bin f (fractional allowed), folded and
// rounded; a harmonic folding onto DC (bin 0) or onto n/2 is left out.
std::vector<int> HarmonicBins(double f, int n, int last = 6);
