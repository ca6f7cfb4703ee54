#include "MainContentComponent.h"

#include <juce_myModule/juce_myModule.h>

const juce::Colour MainContentComponent::backgroundColour { 0xff323e44 };

MainContentComponent::MainContentComponent()
{
    setOpaque (true);
    juce::KivMessageManager::getInstance();
}

MainContentComponent::~MainContentComponent()
{
    juce::KivMessageManager::deleteInstance();
}

void MainContentComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);
}

void MainContentComponent::resized() {}
