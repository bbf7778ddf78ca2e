// Texts of files as the program writes them, for the file tests.
#pragma once

#include <string>
#include <vector>

// Joins lines with CR LF after each.
inline std::string CrLf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

inline std::vector<std::string> DefaultSectionLines() {
    return {"A:",
            "spsSel:13",
            "sinc3:1",
            "ch_sel:0",
            "AEND:",
            "F:",
            "fSaveDataFile:0",
            "DataFileName:",
            "StartDateTime:",
            "FEND:",
            "G:",
            "fWaveGraph:1",
            "fSig_Volt:0",
            "fWinFuncAdjust:1",
            "fDCCut_FFT:1",
            "fDCCut_SigGraph:1",
            "fLogGraph:1",
            "fAbsoGraph:1",
            "index_FreqS:0",
            "index_FreqE:14",
            "index_dB_max:2",
            "index_dB_min:17",
            "whichWindowFunc:1",
            "PenColorGraph:255",
            "PenColorMainAxis:8421504",
            "PenColorSubAxis:12632256",
            "PenColorRefGraph:8421504",
            "DataCountSel:6",
            "DataCountMax:65536",
            "GEND:"};
}

// The default init settings file, line by line.
inline std::vector<std::string> DefaultPrfLines() {
    std::vector<std::string> l{"Kalvexini"};
    for (auto& s : DefaultSectionLines())
        l.push_back(s);
    return l;
}
