/*
    The program's own framework module: the notification centre, the MIDI transport
    with its port layer, the container files and the look-and-feel. Its classes live
    in namespace juce beside the framework's own.
*/
#pragma once

#include "notifications/KivMessageManager.h"
#include "config/ConfigLoader.h"
#include "utilities/ListenerManager.h"
#include "transport/MidiPortLayer.h"
#include "transport/VirtualMidiBackend.h"
#include "transport/KIV_MIDI_IO.h"
