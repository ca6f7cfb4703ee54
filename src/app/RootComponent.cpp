#include "RootComponent.h"

const juce::Colour RootComponent::backgroundColour { 0xff1d1d1d };

RootComponent::RootComponent()
{
    setOpaque (true);
}

RootComponent::~RootComponent() = default;

void RootComponent::setContent (std::unique_ptr<juce::Component> newContent)
{
    content = std::move (newContent);

    if (content != nullptr)
    {
        content->setVisible (true);
        addAndMakeVisible (*content);
    }

    setBounds (getX(), getY(), designWidth, designHeight);
}

void RootComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);
}

void RootComponent::resized()
{
    if (content == nullptr)
        return;

    const int w = getWidth();
    const int h = getHeight();

    if (w <= 0 || h <= 0)
        return;

    const float r = (float) w / (float) h;
    auto bounds = content->getBounds();

    if (aspect > r)
        bounds.setSize (w, (int) ((float) w / aspect));
    else
        bounds.setSize ((int) (aspect * (float) h), h);

    content->setBounds (bounds);
}
