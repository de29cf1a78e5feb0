#pragma once

#include <string>

namespace vemla::test {

// Five triggers (patterns "B" to "F") of 99 SWITCH commands, each restarting the next trigger:
// the nested runs fan out exponentially unless a whole run, nested runs included, is bounded.
inline std::string SwitchStormTriggerFile() {
    std::string file;
    for (int id = 1; id <= 5; ++id) {
        file += "TRIGGER " + std::to_string(id) + " \"t\" ANSI \"" +
                std::string(1, char('A' + id)) + "\" {";
        for (int command = 0; command < 99; ++command)
            file += " SWITCH " + std::to_string(id % 5 + 1) + " 0";
        file += " }\n";
    }
    return file;
}

} // namespace vemla::test
