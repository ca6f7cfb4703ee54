#include "OstravelApplication.h"
#include "X11Quirks.h"

namespace
{
// Runs before the framework starts and opens its own display connection.
const bool displayPrepared = (X11Quirks::prepareDisplay(), true);
} // namespace

START_JUCE_APPLICATION (OstravelApplication)
