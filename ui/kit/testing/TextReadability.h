#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace lumora {

// Whether the texts a window shows can be read: the screen test driver's
// text check (KitTestDriver::textProblems says what it finds). Main thread
// only; the window is grabbed twice, with and without its texts.
class TextReadability {
public:
    // One line per text that is cut short, covered or clipped, runs into
    // another text, or falls below `minimumContrast` against what is behind
    // it. Only texts `checked` accepts (all, when it is empty) must show whole.
    static std::vector<std::string> problems(QWidget* window,
                                             const std::function<bool(const std::string&)>& checked,
                                             double minimumContrast);
    // Accepts the texts of the strings table: equal to one, one followed by
    // a number or punctuation, or one with its placeholders filled in.
    static std::function<bool(const std::string&)> stringsTableMatcher();
    // The WCAG contrast ratio of two colours (1 to 21).
    static double contrastRatio(uint32_t rgb1, uint32_t rgb2);
};

}  // namespace lumora
