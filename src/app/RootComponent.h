#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    Holds the editor panel and keeps it at the 1140:680 design proportion at any
    window size, anchored top-left; the uncovered margin shows this component's
    dark background.
*/
class RootComponent : public juce::Component
{
public:
    static constexpr int designWidth = 1140;
    static constexpr int designHeight = 680;

    RootComponent();
    ~RootComponent() override;

    /** Takes ownership of the panel, shows it and sizes this component to the design size. */
    void setContent (std::unique_ptr<juce::Component> newContent);
    juce::Component* getContent() const noexcept { return content.get(); }

    void paint (juce::Graphics&) override;
    void resized() override;

    static const juce::Colour backgroundColour;
    const float aspect = (float) designWidth / (float) designHeight;

private:
    std::unique_ptr<juce::Component> content;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RootComponent)
};
