#include "cli_record.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "ad7177.h"
#include "numfmt.h"
#include "recorder.h"
#include "recording_reader.h"
#include "tables.h"

namespace kalvex_cli {

CLI::App* AddRecordCommand(CLI::App& app, TRecordArgs& args) {
    CLI::App* record = app.add_subcommand("record");
    AddRateFilterOptions(*record, args.rate, args.filter);
    record->add_option("--ch", args.ch)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::Range(0, 1));
    record->add_option("--duration", args.duration)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::Range(0.0, 1e9));
    record->add_option("--out", args.out)
        ->required()
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(
            [](const std::string& s) { return s.empty() ? std::string("empty file name") : ""; });
    record->add_flag("--json", args.json)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    return record;
}

std::optional<TFailure> Record(const TRecordArgs& args, std::ostream& out, std::ostream& err) {
    TADSetting ad;
    SetDefaultADSetting(ad);
    if (!args.rate.empty()) {
        const auto rate = RateIndexOf(args.rate);
        if (!rate) return TFailure{kExitUsage, "kalvex-cli: unknown rate " + args.rate};
        ad.spsSel = *rate;
    }
    if (args.filter == "sinc3") ad.sinc3 = 1;
    if (args.filter == "sinc5") ad.sinc3 = 0;
    ad.ch_sel = args.ch;

    TADC unit;
    TMeasureSession session(unit);
    session.SetStallLimit(STALL_LIMIT_US); // a unit that hangs ends the recording
    TInterruptScope interrupt(session);
    const TStartResult opened = session.Open(ad);
    if (opened != TStartResult::Started) {
        session.Close();
        return StartFailureOf(opened);
    }
    TRecorder rec(session);
    if (!rec.Begin(args.out, NowText())) {
        session.Close();
        return TFailure{kExitWrite, "kalvex-cli: " + args.out + ": " + rec.Error()};
    }
    // The period as the rate states it: 3600 s at 10 ksps are 36 000 000 samples.
    if (args.duration > 0.0)
        rec.SetLimit(static_cast<uint64_t>(std::llround(args.duration * 1000.0 / rec.PeriodMs())));
    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    const auto pause = PollPause(ad.spsSel, ad.sinc3);
    auto shown = std::chrono::steady_clock::now();
    bool interrupted = false;
    while (rec.State() == TRecorder::TState::Recording) {
        interrupted = interrupt.Interrupted();
        if (interrupted) {
            rec.Stop();
            break;
        }
        rec.Step();
        if (rec.State() == TRecorder::TState::Recording && session.LastRead() == 0)
            std::this_thread::sleep_for(pause);
        if (progress && std::chrono::steady_clock::now() - shown > std::chrono::milliseconds(500)) {
            shown = std::chrono::steady_clock::now();
            err << "\rrecording: " << rec.Samples() << " samples, " << FormatFixed(rec.Seconds(), 1)
                << " s" << std::flush;
        }
    }
    if (progress) err << "\r\033[K" << std::flush;
    session.Close();

    const TRunningStats& st = rec.Stats();
    const char* ended = rec.EndReason() == TRecorder::TEnd::LinkLost      ? "link_lost"
                        : rec.EndReason() == TRecorder::TEnd::WriteFailed ? "write_failed"
                        : interrupted                                     ? "interrupted"
                                                                          : "done";
    if (args.json) {
        nlohmann::ordered_json j;
        j["file"] = args.out;
        j["samples"] = rec.SamplesWritten();
        j["seconds"] = rec.Seconds();
        j["runs"] = rec.Runs();
        j["rate_text"] = rec.Header().rateText;
        j["period_ms"] = rec.PeriodMs();
        j["mean_v"] = st.MeanValue();
        j["rms_noise_v"] = st.StdDev();
        j["pp_v"] = st.PeakToPeak();
        j["ended"] = ended;
        out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
        out << "file: " << args.out << '\n'
            << "samples: " << rec.SamplesWritten() << '\n'
            << "seconds: " << FormatFixed(rec.Seconds(), 3) << '\n'
            << "runs: " << rec.Runs() << '\n'
            << "rate: " << rec.Header().rateText << '\n'
            << "mean: " << FormatGeneral(st.MeanValue()) << " V\n"
            << "rms_noise: " << FormatGeneral(st.StdDev()) << " V\n"
            << "pp: " << FormatGeneral(st.PeakToPeak()) << " V\n"
            << "ended: " << ended << '\n';
    }
    out.flush();
    switch (rec.EndReason()) {
    case TRecorder::TEnd::LinkLost:
        return TFailure{kExitLinkLost, "kalvex-cli: " + LinkLostCause(session) + "; " + args.out +
                                           " is closed with " +
                                           std::to_string(rec.SamplesWritten()) + " samples"};
    case TRecorder::TEnd::WriteFailed:
        return TFailure{kExitWrite, "kalvex-cli: " + args.out + ": " + rec.Error()};
    default:
        break;
    }
    if (!out) return TFailure{kExitOutput, "kalvex-cli: standard output: write error"};
    return std::nullopt;
}

bool IsRecordingFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[18] = {};
    in.read(head, sizeof head);
    return in.gcount() == sizeof head && std::string(head, sizeof head) == "# Kalvex recording";
}

std::optional<std::string> LoadRecordingBlock(const std::string& path, double fromS, double toS,
                                              TSignalData& sig, TADSetting& ad,
                                              TFileSetting& file) {
    TRecordingContent content;
    std::string error;
    TRecordingRange range;
    range.fromS = fromS;
    range.toS = toS;
    range.maxSamples = MAX_DATA_COUNT;
    if (!ReadRecording(path, range, content, error)) return error;
    const bool sinc3 = content.header.filter != "Sinc5+Sinc1";
    int32_t rate = -1;
    for (int32_t i = 0; i < RATE_COUNT && rate < 0; ++i)
        if (RateText(i, sinc3 ? 1 : 0) == content.header.rateText) rate = i;
    if (rate < 0) return "unknown rate " + content.header.rateText;
    size_t n = content.codes.size();
    if (n < static_cast<size_t>(MIN_DATA_COUNT))
        return "the range holds " + std::to_string(n) + " samples, fewer than " +
               std::to_string(MIN_DATA_COUNT);
    size_t block = MIN_DATA_COUNT;
    while (block * 2 <= n && block * 2 <= static_cast<size_t>(MAX_DATA_COUNT))
        block *= 2;
    std::copy(content.codes.begin(), content.codes.begin() + static_cast<std::ptrdiff_t>(block),
              sig.pCode);
    sig.ad_dnum = static_cast<int32_t>(block);
    ad.spsSel = rate;
    ad.sinc3 = sinc3 ? 1 : 0;
    if (content.header.channel == "CH1") ad.ch_sel = 1;
    SetBlockRate(sig, ad.spsSel, ad.sinc3);
    file.StartDateTime = content.header.startTime;
    return std::nullopt;
}

} // namespace kalvex_cli
