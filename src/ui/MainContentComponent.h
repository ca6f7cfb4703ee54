#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The editor's main panel, laid out in a 1140 x 680 design space. */
class MainContentComponent : public juce::Component
{
public:
    MainContentComponent();
    ~MainContentComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    static const juce::Colour backgroundColour;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainContentComponent)
};
