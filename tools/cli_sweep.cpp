// kalvex-cli sweep: the noise table headless. One block per rate and filter on one channel
// through the same session as measure, each reduced to its noise figures; the duration
// estimate on standard error before the first command goes to the unit.
#include "cli_sweep.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "ad7177.h"
#include "csv_export.h"
#include "myfile.h"
#include "noise_sweep.h"
#include "paths.h"
#include "tables.h"
#include "texts.h"

namespace kalvex_cli {
namespace {

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        items.push_back(item);
    if (!text.empty() && text.back() == ',') items.emplace_back();
    return items;
}

std::optional<std::vector<int32_t>> ParseRates(const std::string& text) {
    std::vector<int32_t> rates;
    if (text == "all") {
        for (int32_t i = 0; i < RATE_COUNT; ++i)
            rates.push_back(i);
        return rates;
    }
    for (const std::string& item : SplitList(text)) {
        const auto r = RateIndexOf(item);
        if (!r) return std::nullopt;
        rates.push_back(*r);
    }
    if (rates.empty()) return std::nullopt;
    return rates;
}

std::optional<std::vector<uint8_t>> ParseFilters(const std::string& text) {
    std::vector<uint8_t> filters;
    for (const std::string& item : SplitList(text)) {
        if (item == "sinc3")
            filters.push_back(1);
        else if (item == "sinc5")
            filters.push_back(0);
        else
            return std::nullopt;
    }
    if (filters.empty()) return std::nullopt;
    return filters;
}

nlohmann::ordered_json Figure(const TNoiseRow& r, double v) {
    return r.levelError ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(v);
}

// One row: a JSON object on one line, or "key: value" lines with the same keys.
std::string RowText(const TNoiseRow& r, bool json) {
    nlohmann::ordered_json j;
    j["rate_index"] = r.spsSel;
    j["rate_text"] = r.rateText;
    j["filter"] = r.sinc3 ? "sinc3" : "sinc5";
    j["samples"] = r.count;
    j["level_error"] = r.levelError;
    j["rms_uv"] = Figure(r, r.rmsUv);
    j["rms_codes"] = Figure(r, r.rmsCodes);
    j["pp_uv"] = Figure(r, r.ppUv);
    j["pp_codes"] = Figure(r, r.ppCodes);
    j["effective_bits"] = Figure(r, r.effectiveBits);
    j["noise_free_bits"] = Figure(r, r.noiseFreeBits);
    j["density_v_per_rthz"] = Figure(r, r.densityVrtHz);
    j["mean_v"] = Figure(r, r.meanV);
    if (json) return j.dump() + "\n";
    std::string text;
    for (const auto& [key, value] : j.items())
        text += key + ": " + (value.is_string() ? value.get<std::string>() : value.dump()) + "\n";
    return text;
}

} // namespace

CLI::App* AddSweepCommand(CLI::App& app, TSweepArgs& args) {
    CLI::App* sweep = app.add_subcommand("sweep");
    const auto once = CLI::MultiOptionPolicy::Throw;
    sweep->add_option("--rates", args.rates)->multi_option_policy(once);
    sweep->add_option("--filters", args.filters)->multi_option_policy(once);
    sweep->add_option("--ch", args.ch)->multi_option_policy(once)->check(CLI::Range(0, 1));
    sweep->add_option("--count", args.count)
        ->multi_option_policy(once)
        ->check(CLI::Range(MIN_DATA_COUNT, MAX_DATA_COUNT));
    sweep->add_option("--out", args.out)
        ->multi_option_policy(once)
        ->check(
            [](const std::string& s) { return s.empty() ? std::string("empty file name") : ""; });
    sweep->add_flag("--json", args.json)->multi_option_policy(once);
    return sweep;
}

std::optional<TFailure> Sweep(const TSweepArgs& args, std::ostream& out, std::ostream& err) {
    const auto rates = ParseRates(args.rates);
    if (!rates)
        return TFailure{kExitUsage, "kalvex-cli: --rates の値が正しくありません: " + args.rates};
    const auto filters = ParseFilters(args.filters);
    if (!filters)
        return TFailure{kExitUsage, "kalvex-cli: --filters には sinc3, sinc5 を指定してください"};
    if (DataCountSelFor(args.count) < 0)
        return TFailure{kExitUsage, "kalvex-cli: --count は 1024, 2048, ... 262144 のいずれかです"};
    const std::string outPath =
        args.out.empty() ? std::string() : WithDefaultExtension(args.out, ".csv");
    if (!outPath.empty() && !CanSaveFile(outPath))
        return TFailure{kExitWrite, "kalvex-cli: " + outPath + ": " + TEXT_CSV_SAVE_ERROR};

    TSweepPlan plan;
    plan.points = SweepPoints(*rates, *filters);
    plan.ch = args.ch;
    plan.count = args.count;
    err << "kalvex-cli: " << SweepEstimateText(plan) << " (" << plan.points.size() << " ブロック)\n"
        << std::flush;

    TFFTSetting fft;
    TFileSetting file;
    SetDefaultFFTSetting(fft, file);
    TADC unit;
    TMeasureSession session(unit);
    session.SetStallLimit(STALL_LIMIT_US);
    TInterruptScope interrupt(session);
    TNoiseSweep sweep(session, plan, fft);

    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    std::optional<TFailure> failure;
    auto shown = std::chrono::steady_clock::now();
    for (;;) {
        if (interrupt.Interrupted()) {
            sweep.Stop();
            failure = TFailure{kExitInterrupted, "kalvex-cli: interrupted"};
            break;
        }
        const TNoiseSweep::TStep step = sweep.Step();
        if (step == TNoiseSweep::TStep::Row) {
            if (progress) err << "\r\033[K" << std::flush;
            if (!args.json && sweep.Rows().size() > 1) out << '\n';
            out << RowText(sweep.Rows().back(), args.json) << std::flush;
            if (!out) {
                sweep.Stop();
                failure = TFailure{kExitOutput, "kalvex-cli: standard output: write error"};
                break;
            }
        }
        if (step == TNoiseSweep::TStep::Finished) break;
        if (step == TNoiseSweep::TStep::Waiting) {
            const TSweepPoint& p = plan.points[static_cast<size_t>(sweep.CurrentPoint())];
            std::this_thread::sleep_for(PollPause(p.spsSel, p.sinc3));
        }
        if (progress && std::chrono::steady_clock::now() - shown > std::chrono::milliseconds(200)) {
            shown = std::chrono::steady_clock::now();
            err << "\rblock " << sweep.CurrentPoint() + 1 << "/" << plan.points.size() << ": "
                << sweep.Received() << "/" << plan.count << std::flush;
        }
    }
    if (progress) err << "\r\033[K" << std::flush;
    if (!failure) {
        if (sweep.State() == TNoiseSweep::TState::Stopped)
            failure = TFailure{kExitInterrupted, "kalvex-cli: interrupted"};
        else if (sweep.State() == TNoiseSweep::TState::Failed)
            failure =
                sweep.LinkLost() ? LinkLostFailure(session) : StartFailureOf(sweep.FailReason());
    }
    // The rows taken are kept, also those of a sweep that ended early.
    if (!outPath.empty() && !sweep.Rows().empty() &&
        !WriteFileAtomic(outPath, NoiseTableCsv(sweep.Rows())) && !failure)
        failure = TFailure{kExitWrite, "kalvex-cli: " + outPath + ": " + TEXT_CSV_SAVE_ERROR};
    if (!failure && std::any_of(sweep.Rows().begin(), sweep.Rows().end(),
                                [](const TNoiseRow& r) { return r.levelError; }))
        failure = TFailure{kExitLevel, std::string("kalvex-cli: ") + TEXT_LEVEL_ERROR};
    return failure;
}

} // namespace kalvex_cli
