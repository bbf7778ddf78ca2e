// TmyStatus: every text of the status bar's three panels (0: the unit, 1: the measurement
// state, 2: progress, statistics and level errors).
#pragma once

#include <cstdint>
#include <string>

class TStatusBar;

class TmyStatus {
public:
    TmyStatus(TStatusBar* bar, std::string unitName, int maxPanel = 2);

    // Replaces a panel's text and sizes it: 110 pixels for a text of at most 100, else its
    // width + 10. Indices above the highest panel are ignored.
    void SetPanelText(const std::string& text, int index);

    void ClearStatus();
    void ShowUnitInfo(const std::string& name, const std::string& version,
                      const std::string& rateText);
    void ShowNotFound();
    void ShowSendError();
    void ShowNoResponse();
    // A start that failed after the unit answered (panel 0).
    void ShowFilterError();
    void ShowRateError();
    void ShowNameError();
    void ShowVersionError();
    void ShowWrongUnit(const std::string& name);
    // The link failed during a block: the unit is no longer known to be there (panel 0).
    void ShowLinkLost();
    void ShowMeasuring();
    void ShowFinished();
    void ShowStopped();
    void ShowDataLoaded();
    void ShowRefLoaded();
    void ShowStarting();
    void ShowMeasureError();
    void ShowLevelError();
    void ShowProgress(int n, uint32_t code);
    void ShowCodeStats(uint32_t maxCode, uint32_t minCode, double stdDev);
    void ShowVoltStats(double maxUv, double minUv, double stdUv);

    std::string PanelText(int index) const;

private:
    TStatusBar* bar_;
    std::string UnitName;
    int maxPanel_;
};
