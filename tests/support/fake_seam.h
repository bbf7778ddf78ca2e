// A dialog seam with scripted answers for tests: every question is recorded, answers are
// taken from queues (an empty queue answers No / Cancel / cancelled).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "dialog_seam.h"

class FakeSeam : public TDialogSeam {
public:
    struct Asked {
        std::string kind, caption, text;
        TMsgIcon icon;
    };
    std::vector<Asked> asked;
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> fileNames;
    std::deque<std::optional<int32_t>> colors;

    bool askYesNo(const std::string& c, const std::string& t, TMsgIcon i) override {
        asked.push_back({"yesno", c, t, i});
        return Next();
    }
    bool askOkCancel(const std::string& c, const std::string& t, TMsgIcon i) override {
        asked.push_back({"okcancel", c, t, i});
        return Next();
    }
    void showMessage(const std::string& c, const std::string& t, TMsgIcon i) override {
        asked.push_back({"message", c, t, i});
    }
    std::optional<std::string> getSaveFileName(const std::string& filter,
                                               const std::string& initial) override {
        asked.push_back({"save", filter, initial, TMsgIcon::None});
        return NextName();
    }
    std::optional<std::string> getOpenFileName(const std::string& filter,
                                               const std::string& initial) override {
        asked.push_back({"open", filter, initial, TMsgIcon::None});
        return NextName();
    }
    std::optional<int32_t> getColor(int32_t initial) override {
        asked.push_back({"color", "", std::to_string(initial), TMsgIcon::None});
        if (colors.empty()) return std::nullopt;
        auto c = colors.front();
        colors.pop_front();
        return c;
    }

private:
    bool Next() {
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> NextName() {
        if (fileNames.empty()) return std::nullopt;
        auto n = fileNames.front();
        fileNames.pop_front();
        return n;
    }
};
