#include "OstravelApplication.h"

START_JUCE_APPLICATION (OstravelApplication)
