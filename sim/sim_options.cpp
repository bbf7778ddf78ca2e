#include "sim_options.h"

#include "numfmt.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

std::optional<long long> ParseCount(std::string_view text) {
    auto v = ParseDouble(text);
    if (!v || *v < 0 || *v > 1e15 || *v != static_cast<double>(static_cast<long long>(*v)))
        return std::nullopt;
    return static_cast<long long>(*v);
}

} // namespace

TSimOptions ParseSimOptions(const std::vector<std::string_view>& args) {
    TSimOptions o;
    TUnitFaults& f = o.unit.faults;
    bool noRateNoise = false;
    for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
        const std::string_view a = args[i];
        auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) {
                o.error = "missing value after " + std::string(a);
                return std::nullopt;
            }
            return args[++i];
        };
        auto number = [&](double lo) -> std::optional<double> {
            auto v = value();
            if (!v) return std::nullopt;
            auto d = ParseDouble(*v);
            if (!d || *d < lo) {
                o.error = "bad number for " + std::string(a) + ": " + std::string(*v);
                return std::nullopt;
            }
            return d;
        };
        auto count = [&]() -> std::optional<long long> {
            auto v = value();
            if (!v) return std::nullopt;
            auto n = ParseCount(*v);
            if (!n) o.error = "bad count for " + std::string(a) + ": " + std::string(*v);
            return n;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--socket") {
            if (auto v = value()) o.socketPath = *v;
        } else if (a == "--speed") {
            if (auto v = number(1e-6)) o.unit.speed = *v;
        } else if (a == "--tick") {
            if (auto v = number(0.0)) o.tickMs = *v;
        } else if (a == "--seed") {
            if (auto n = count()) o.unit.seed = static_cast<uint64_t>(*n);
        } else if (a == "--ch0" || a == "--ch1" || a == "--ch2") {
            if (auto v = value()) {
                auto s = ParseChannelSignal(*v);
                if (s)
                    o.unit.channels[static_cast<size_t>(a[4] - '0')] = *s;
                else
                    o.error = "bad signal for " + std::string(a) + ": " + std::string(*v);
            }
        } else if (a == "--model") {
            if (auto v = value()) o.unit.modelName = *v;
        } else if (a == "--version") {
            if (auto v = value()) o.unit.version = *v;
        } else if (a == "--silent") {
            f.silent = true;
        } else if (a == "--ng") {
            if (auto v = value()) f.ngCommand = *v;
        } else if (a == "--no-cr-at") {
            if (auto n = count()) f.noCrAt = *n;
        } else if (a == "--full-scale-at") {
            if (auto v = value()) {
                std::string_view text = *v;
                f.fullScaleHigh = true;
                if (text.ends_with(":low") || text.ends_with(":high")) {
                    f.fullScaleHigh = text.ends_with(":high");
                    text = text.substr(0, text.rfind(':'));
                }
                auto n = ParseCount(text);
                if (n)
                    f.fullScaleAt = *n;
                else
                    o.error = "bad value for --full-scale-at: " + std::string(*v);
            }
        } else if (a == "--drop-after") {
            if (auto n = count()) f.dropAfter = *n;
        } else if (a == "--hang-after") {
            if (auto n = count()) f.hangAfter = *n;
        } else if (a == "--split-at") {
            if (auto n = count()) f.splitAt = static_cast<int>(std::min(*n, 1000LL));
        } else if (a == "--split-gap") {
            if (auto v = number(0.0)) f.splitGapMs = *v;
        } else if (a == "--reply-delay") {
            if (auto v = number(0.0)) f.replyDelayMs = *v;
        } else if (a == "--no-rate-noise") {
            noRateNoise = true;
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else {
            o.error = "unknown option " + std::string(a) + " (see --help)";
        }
    }
    // Whatever order the options came in: only the fixed noise is left.
    if (noRateNoise)
        for (TChannelSignal& ch : o.unit.channels)
            ch.densityVrtHz = ch.floorRmsV = 0.0;
    return o;
}

std::string SimHelpText() {
    return R"(Usage: kalvex-unitsim [options]

A simulated ZR4410QM A/D unit. It listens on a Unix-domain socket where the Kalvex link
looks for a unit and speaks the unit's command protocol there: "?", "S3", "S5", "F0".."FD"
(acknowledged with OK), "U?" (model name), "V?" (version), "A<ch><5 hex digits>" (stream that
many 9-byte records from channel 0..2, paced at the selected rate; 00000 streams until "AX"),
"AX" (stop). Anything else is answered "NG".

As stern as the real unit: a conversion ends on "AX" or at its count, on nothing else. While it
streams, other commands are still answered, each reply going out between two records, and a
new start command is refused with "NG". One connection at a time, and one unit for the
program's whole life (powered up with Sinc3, rate index 13): a host that goes away without
"AX" leaves the unit streaming, and the next connection meets it so. What the unit sends while
no host is connected is lost; its clock and count go on. Only --drop-after powers it off and
on again (a pulled cable).

Where it listens:
  --socket PATH         this path; otherwise $KALVEX_UNIT_SOCKET, otherwise
                        $XDG_RUNTIME_DIR/kalvex-unit.sock, otherwise /tmp/kalvex-unit-<uid>.sock
  --once                exit when the first connection closes

Timing:
  --speed X             stream X times faster than the selected rate (default 1: real time)
  --tick MS             send records in batches at most every MS milliseconds (default 5)
  --reply-delay MS      time from a command to its reply (default 0.2; above the link's
                        time-out, 100 ms per command, the replies come too late)

Signal per channel (CH0, CH1, CH2):
  --ch0 SIGNAL, --ch1 SIGNAL, --ch2 SIGNAL
      SIGNAL is a comma-separated list of
        dc=V              DC offset in volts
        sine=F:A[:P]      a sine of F Hz, A volts peak, phase P degrees (repeatable)
        noise=V           white Gaussian noise, V volts RMS at every rate
        hN=D              after a sine: its N-th harmonic (N = 2..9), D dBc (for example
                          -100) below that sine, at N times its frequency, phase 0; above
                          half the rate it folds back as a sampled sine does
        density=D         the converter's noise, D volts per root hertz, seen through the
                          filter's noise bandwidth: its RMS grows with the square root of
                          the rate (0.55 x rate/2 with Sinc3, 0.44 x rate/2 with Sinc5+Sinc1)
        floor=V           a noise floor of V volts RMS at every rate, added in power to the
                          density's noise
      or "none" for a dead-quiet input. Input range +-2.5 V; beyond it the codes clamp at
      full scale. Example: --ch0 'sine=1000:1.0,h2=-100,h3=-110,density=40e-9,floor=1e-6'
      Defaults:
        CH0  sine=1000:1:0,sine=2000:0.001:30,sine=3000:0.0003:60,noise=3e-6
        CH1, CH2  noise=0,density=3.77e-8,floor=3e-7 (about 2 uV RMS at 10 ksps with
                  Sinc3, 0.3 uV at 5 sps)
  --seed N              noise seed (default 1)
  --no-rate-noise       ignore density= and floor= of every channel: only the fixed noise=
                        (the default CH1 and CH2 are then dead quiet)

Faults:
  --silent              answer nothing at all
  --ng CMD              answer "NG" to the command CMD (for example S3, F7, U? or ?)
  --model NAME          answer "U?" with NAME (a wrong model name)
  --version TEXT        answer "V?" with TEXT (default 1.00)
  --no-cr-at N          record N (counted from 0) ends in LF instead of CR
  --full-scale-at N[:low|:high]
                        record N carries the code 0xFFFFFFFF (high, default) or 0x00000000
  --drop-after N        the link goes down when record N+1 is due (records sent to hosts since
                        the unit was powered up)
  --hang-after N        the unit hangs when record N+1 is due: the link stays up, but no
                        record comes and no command is answered any more
  --split-at K          send every reply in two pieces, the first K bytes long
  --split-gap MS        pause between the two pieces (default 3)

Other:
  --quiet               no messages on standard error
  --help                this text
)";
}
