// The normalisation of the scene names that layout references carry.
#include "core/SceneName.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(SceneNameForDisplay, normalisesReferences) {
    struct {
        std::optional<std::string> in;
        std::optional<std::string> out;
    } rows[] = {
        {std::nullopt, std::nullopt},
        {"Work", "Work"},
        {"  Work  ", "Work"},
        {"\n\tTwo Words \r\n", "Two Words"},
        {"\xC2\xA0Wide\xE3\x80\x80", "Wide"}, // no-break space, ideographic space
        {"", std::nullopt},
        {"   ", std::nullopt},
        {" \n\t ", std::nullopt},
        {"scene-restore-1234", std::nullopt},
        {"  scene-apply-abc", std::nullopt},
        {"scene-restore-", std::nullopt},
        {"scene-restore", "scene-restore"},
        {"my-scene-restore-1", "my-scene-restore-1"},
        {"Layout scene-apply-x", "Layout scene-apply-x"},
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"\xFF bad", "\xFF bad"}, // invalid bytes are kept, not trimmed
    };
    for (const auto& r : rows)
        EXPECT_EQ(sceneNameForDisplay(r.in), r.out) << (r.in ? "\"" + *r.in + "\"" : "nil");
}
