#pragma once

#include "../utilities/ListenerManager.h"

namespace juce
{

/** Receives every notification posted through KivMessageManager. */
class KivMessageManagerListener
{
public:
    virtual ~KivMessageManagerListener() = default;

    /** Called on the poster's thread; `data` is only valid during the call. */
    virtual void handleNotification (juce::String name, void* data, int size) = 0;

    /** Integer-keyed variant kept for listeners that prefer it; never called by the centre. */
    virtual void handleNotification (int id, void* data, int size)
    {
        ignoreUnused (id, data, size);
    }
};

/**
    The process-wide notification centre.

    Delivery is synchronous and depth first. The listener lock guards the list only
    and is never held while a handler runs, so handlers may post, add or remove
    listeners themselves.
*/
class KivMessageManager
{
public:
    static KivMessageManager* manager;

    /** Returns the instance, creating it on first use. */
    static KivMessageManager* getInstance();

    /** Deletes the instance; the next use creates a fresh one. */
    static void deleteInstance();

    static void addListener (KivMessageManagerListener* listener);
    static void removeListener (KivMessageManagerListener* listener);
    static void postNotification (juce::String name, void* data, int size);

    int getNumListeners() const;

private:
    KivMessageManager() = default;

    ListenerManager<KivMessageManagerListener> listeners;

    JUCE_DECLARE_NON_COPYABLE (KivMessageManager)
};

/** Every notification name the program posts; compared as whole, case-sensitive strings. */
namespace KivNotification
{
    inline const char* const switchPreset = "main switchPreset";
    inline const char* const setCurSet = "main setCurSet";
    inline const char* const setConnectStatus = "main setConnectStatus";
    inline const char* const setShortConnect = "main set_short_connect";
    inline const char* const setManualMode = "main setManualMode";
    inline const char* const choosePreset = "main choosePreset";
    inline const char* const dealMidiCC = "main dealMidiCC";
    inline const char* const choosePresetUpdate = "main choosePreset update";
    inline const char* const manualUpdate = "main manual update";
    inline const char* const showProcessDialog = "main show processDialog";
    inline const char* const firmwareVersionChange = "FirmwareVersionChange";
    inline const char* const midiDeviceChange = "MIDI Device Change";
} // namespace KivNotification

} // namespace juce
