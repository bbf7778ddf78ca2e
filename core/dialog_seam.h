// The one seam for modal dialogs and message boxes. The program implements it with Qt; tests
// replace it with scripted answers, so every command runs without a person clicking.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class TMsgIcon { None, Information, Warning, Error, Question };

class TDialogSeam {
public:
    virtual ~TDialogSeam() = default;

    // Yes/No box; true for Yes.
    virtual bool askYesNo(const std::string& caption, const std::string& text, TMsgIcon icon) = 0;
    // OK/Cancel box; true for OK.
    virtual bool askOkCancel(const std::string& caption, const std::string& text,
                             TMsgIcon icon) = 0;
    // OK box.
    virtual void showMessage(const std::string& caption, const std::string& text,
                             TMsgIcon icon) = 0;
    // File dialogs: filter in the form "Description (*.EXT)|*.EXT"; an empty optional when
    // cancelled.
    virtual std::optional<std::string> getSaveFileName(const std::string& filter,
                                                       const std::string& initialName) = 0;
    virtual std::optional<std::string> getOpenFileName(const std::string& filter,
                                                       const std::string& initialName) = 0;
    // Colour dialog; colours are 0x00BBGGRR. Empty when cancelled.
    virtual std::optional<int32_t> getColor(int32_t initial) = 0;
};
