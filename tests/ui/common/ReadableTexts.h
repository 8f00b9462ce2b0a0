#pragma once

// Every screen a walk stops at: the application's own texts show whole, on
// top, apart from each other and readable against what is behind them.

#include <gtest/gtest.h>

#include <string>

#include "ui/kit/testing/KitTestDriver.h"

namespace lumora::test {

inline void expectTextsReadable(const KitTestDriver& driver, const std::string& screen) {
    for (const std::string& problem : driver.textProblems(KitTestDriver::stringsTableTexts()))
        ADD_FAILURE() << screen << ": " << problem;
}

}  // namespace lumora::test
