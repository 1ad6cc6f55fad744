// The normalisation of the scene names that layout references carry.
#include "core/SceneName.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(SceneNameForDisplay, normalisesReferences) {
    const std::pair<std::string, std::string> kept[] = {
        {"  Work  ", "Work"},
        {"\n\tTwo Words \r\n", "Two Words"},
        {"\xC2\xA0Wide\xE3\x80\x80", "Wide"}, // no-break space, ideographic space
        {"scene-restore", "scene-restore"},
        {"my-scene-restore-1", "my-scene-restore-1"},
        {"Layout scene-apply-x", "Layout scene-apply-x"},
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"\xFF bad", "\xFF bad"}, // invalid bytes are kept, not trimmed
    };
    for (const auto& [in, out] : kept)
        EXPECT_EQ(sceneNameForDisplay(in), out) << "\"" << in << "\"";
    // Blank names and the names of transient restore and apply layouts name no scene.
    for (const char* in : {"", "   ", " \n\t ", "scene-restore-1234", "  scene-apply-abc", "scene-restore-"})
        EXPECT_EQ(sceneNameForDisplay(std::string(in)), std::nullopt) << "\"" << in << "\"";
    EXPECT_EQ(sceneNameForDisplay(std::nullopt), std::nullopt);
}
