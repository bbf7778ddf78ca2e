#include "unit_engine.h"

#include "tables.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t MAX_LINE = 64;      // longer lines are answered "NG"
constexpr size_t MAX_PENDING = 1024; // replies queued; a flood of commands loses the rest
constexpr int MAX_BURST = 65536;     // records per Collect call

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int64_t MsToNs(double ms) {
    return static_cast<int64_t>(std::llround(ms * 1e6));
}

} // namespace

TUnitEngine::TUnitEngine(TUnitConfig config) : Cfg(std::move(config)) {
    if (!(Cfg.speed > 0.0)) Cfg.speed = 1.0;
}

void TUnitEngine::Receive(const char* data, size_t n, int64_t nowNs) {
    if (fDropped) return;
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c == '\r') {
            std::string line;
            line.swap(Line);
            if (fLineTooLong) line.clear(); // answered like any unknown command
            fLineTooLong = false;
            Command(line, nowNs);
        } else if (c != '\n') {
            if (Line.size() < MAX_LINE)
                Line.push_back(c);
            else
                fLineTooLong = true;
        }
    }
}

void TUnitEngine::Reply(const std::string& text, int64_t nowNs) {
    const TUnitFaults& f = Cfg.faults;
    if (Pending.size() >= MAX_PENDING) return;
    int64_t at = nowNs + MsToNs(f.replyDelayMs);
    if (!Pending.empty()) at = std::max(at, Pending.back().first);
    std::string wire = text + "\r";
    if (f.splitAt > 0 && static_cast<size_t>(f.splitAt) < wire.size()) {
        Pending.emplace_back(at, wire.substr(0, static_cast<size_t>(f.splitAt)));
        Pending.emplace_back(at + MsToNs(f.splitGapMs),
                             wire.substr(static_cast<size_t>(f.splitAt)));
    } else {
        Pending.emplace_back(at, wire);
    }
}

void TUnitEngine::Command(const std::string& line, int64_t nowNs) {
    if (Cfg.faults.silent || fHung) return;
    if (line == "AX") {
        // Records already due still go out; nothing after this moment.
        if (fRun && StopNs == NEVER) StopNs = nowNs;
        return;
    }
    if (!Cfg.faults.ngCommand.empty() && line == Cfg.faults.ngCommand) {
        Reply("NG", nowNs);
        return;
    }
    if (line == "?") {
        Reply("OK", nowNs);
    } else if (line == "S3" || line == "S5") {
        fSinc3 = line == "S3"; // for the next conversion; a running one keeps its own
        Reply("OK", nowNs);
    } else if (line.size() == 2 && line[0] == 'F' && HexValue(line[1]) >= 0 &&
               HexValue(line[1]) < RATE_COUNT && !(line[1] >= 'a' && line[1] <= 'f')) {
        Rate = HexValue(line[1]);
        Reply("OK", nowNs);
    } else if (line == "U?") {
        Reply(Cfg.modelName, nowNs);
    } else if (line == "V?") {
        Reply(Cfg.version, nowNs);
    } else if (!StartConversion(line, nowNs)) {
        Reply("NG", nowNs);
    }
}

bool TUnitEngine::StartConversion(const std::string& line, int64_t nowNs) {
    if (line.size() != 7 || line[0] != 'A' || line[1] < '0' || line[1] > '2') return false;
    long long count = 0;
    for (size_t i = 2; i < 7; ++i) {
        int v = HexValue(line[i]);
        if (v < 0) return false;
        count = count * 16 + v;
    }
    if (ConvertingAt(nowNs)) return false; // busy: only "AX" ends a conversion
    // What the last run sent before its end is on its way already.
    Produce(nowNs, Held);
    const int ch = line[1] - '0';
    const double periodMs = SamplePeriodMs(Rate, fSinc3 ? 1 : 0);
    Generator.emplace(Cfg.channels[static_cast<size_t>(ch)], periodMs, Cfg.seed * 1000003u + Runs++,
                      fSinc3);
    Requested = count;
    Sent = 0;
    RunStartNs = std::max(nowNs, Pending.empty() ? nowNs : Pending.back().first);
    RecordNs = periodMs * 1e6 / Cfg.speed;
    fRun = true;
    StopNs = NEVER;
    return true;
}

int64_t TUnitEngine::RecordTimeNs(long long k) const {
    return RunStartNs + static_cast<int64_t>(static_cast<double>(k + 1) * RecordNs);
}

bool TUnitEngine::RecordDue(long long k, int64_t limitNs) const {
    if (!fRun || fDropped || (Requested > 0 && k >= Requested)) return false;
    const int64_t t = RecordTimeNs(k);
    return t <= StopNs && t <= limitNs;
}

bool TUnitEngine::ConvertingAt(int64_t nowNs) const {
    if (!fRun || fDropped || StopNs != NEVER) return false;
    return Requested == 0 || RecordTimeNs(Requested - 1) > nowNs;
}

int64_t TUnitEngine::NextReplyNs() const {
    return Pending.empty() || fDropped ? NEVER : Pending.front().first;
}

int64_t TUnitEngine::NextRecordNs() const {
    return RecordDue(Sent, NEVER - 1) ? RecordTimeNs(Sent) : NEVER;
}

void TUnitEngine::Produce(int64_t nowNs, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const TUnitFaults& f = Cfg.faults;
    // A huge speed factor must not build a huge burst: the rest follows on the next call.
    for (int burst = 0; !fDropped && burst < MAX_BURST;) {
        const bool record = RecordDue(Sent, nowNs);
        const bool reply = !Pending.empty() && Pending.front().first <= nowNs;
        if (!record && !reply) return;
        // A reply goes out between two records, in the order the unit made them.
        if (reply && (!record || Pending.front().first < RecordTimeNs(Sent))) {
            out += Pending.front().second;
            Pending.pop_front();
            continue;
        }
        if (f.dropAfter >= 0 && TotalSent >= f.dropAfter) {
            fDropped = true;
            fRun = false;
            return;
        }
        if (f.hangAfter >= 0 && TotalSent >= f.hangAfter) {
            fHung = true;
            fRun = false;
            Pending.clear();
            return;
        }
        uint32_t code = Generator->Next();
        if (Sent == f.fullScaleAt) code = f.fullScaleHigh ? 0xFFFFFFFFu : 0u;
        char rec[9];
        for (int i = 0; i < 8; ++i)
            rec[i] = kHex[(code >> (28 - 4 * i)) & 0xF];
        rec[8] = Sent == f.noCrAt ? '\n' : '\r';
        out.append(rec, sizeof rec);
        ++Sent;
        ++TotalSent;
        ++burst;
    }
}

void TUnitEngine::Collect(int64_t nowNs, std::string& out) {
    if (fDropped) return;
    out += Held;
    Held.clear();
    Produce(nowNs, out);
}

void TUnitEngine::Discard(int64_t nowNs) {
    Held.clear();
    while (!Pending.empty() && Pending.front().first <= nowNs)
        Pending.pop_front();
    if (!RecordDue(Sent, nowNs)) return;
    // Jump close to the last record due, then step to it exactly.
    const double elapsed = static_cast<double>(std::min(nowNs, StopNs) - RunStartNs);
    long long k = std::max(Sent, static_cast<long long>(elapsed / RecordNs) - 2);
    if (Requested > 0) k = std::min(k, Requested);
    while (RecordDue(k, nowNs))
        ++k;
    Generator->Skip(static_cast<uint64_t>(k - Sent));
    Sent = k;
}
