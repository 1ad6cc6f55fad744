// A scene's name as the program's texts carry it: isolated, whatever isolates and breaks it holds.
#include "scenes/model/SceneNameInText.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

const std::string FSI = "\u2068", PDI = "\u2069", LRI = "\u2066", RLO = "\u202E";

} // namespace

TEST(SceneNameInText, wrapsTheNameInOneIsolateThatNothingInsideItCanOpenOrCloseEarly) {
    const struct {
        std::string name, text;
    } rows[] = {
        {"Work & Play && Fun", FSI + "Work & Play && Fun" + PDI},
        {"", FSI + PDI},
        {"\u05E2\u05D1\u05D5\u05D3\u05D4", FSI + "\u05E2\u05D1\u05D5\u05D3\u05D4" + PDI},
        // An override runs to the isolate's end, where the closing mark ends it.
        {RLO + "This", FSI + RLO + "This" + PDI},
        // Breaks of a row or a paragraph become spaces.
        {"Work\tPlay\nHome\r\x1B", FSI + "Work Play Home  " + PDI},
        {"a\u2028b\u2029c\u0085d", FSI + "a b c d" + PDI},
        // An isolate the name opens is closed inside it; a close it never opened is left out.
        {"a" + LRI + "b", FSI + "a" + LRI + "b" + PDI + PDI},
        {"a" + PDI + RLO + "b", FSI + "a" + RLO + "b" + PDI},
        {LRI + "a" + PDI + PDI + "b", FSI + LRI + "a" + PDI + "b" + PDI},
    };
    for (const auto& row : rows)
        EXPECT_EQ(sceneNameInText(row.name), row.text) << row.name;
}
