#include "app/OstravelApplication.h"
#include "app/RootComponent.h"
#include "ui/MainContentComponent.h"

#include <gtest/gtest.h>

TEST (RootComponent, KeepsTheDesignProportionAnchoredTopLeftAtAnySize)
{
    RootComponent root;
    root.setContent (std::make_unique<juce::Component>());
    ASSERT_EQ (root.getBounds().getWidth(), 1140);
    ASSERT_EQ (root.getBounds().getHeight(), 680);

    struct Case
    {
        int w, h, contentW, contentH;
    };
    const Case cases[] = {
        { 1140, 680, 1140, 680 },
        { 2280, 1360, 2280, 1360 },
        { 2000, 680, 1140, 680 },  // too wide: margin on the right
        { 1140, 1000, 1140, 680 }, // too tall: margin below
        { 760, 183, 306, 183 },    // the smallest window
        { 1919, 1080, 1810, 1080 },
    };

    for (auto& c : cases)
    {
        root.setSize (c.w, c.h);
        const auto bounds = root.getContent()->getBounds();
        EXPECT_EQ (bounds.getPosition(), juce::Point<int>()) << c.w << "x" << c.h;
        EXPECT_EQ (bounds.getWidth(), c.contentW) << c.w << "x" << c.h;
        EXPECT_EQ (bounds.getHeight(), c.contentH) << c.w << "x" << c.h;
    }
}

TEST (RootComponent, PaintsTheMarginAndThePanelInTheirColours)
{
    RootComponent root;
    root.setContent (std::make_unique<MainContentComponent>());
    root.setSize (1400, 680);

    const auto image = root.createComponentSnapshot (root.getLocalBounds());
    EXPECT_EQ (image.getPixelAt (1300, 300), juce::Colour (0xff1d1d1d));
    EXPECT_EQ (image.getPixelAt (500, 300), juce::Colour (0xff323e44));
}

TEST (OstravelApplication, ResizeLimitsFollowTheMainDisplay)
{
    const auto limits = OstravelApplication::getMaximumWindowSize (1920);
    EXPECT_EQ (limits.getWidth(), 1920);
    EXPECT_EQ (limits.getHeight(), 1145); // integer part of 1920 / 1140 * 680
}
