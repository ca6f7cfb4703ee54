// Cost of building the messages of the two largest request bursts: the handshake
// after connection and a whole-set preset write.
#include <benchmark/benchmark.h>

#include <protocol/KivMidiTransmission.h>

namespace
{
void buildHandshake (benchmark::State& state)
{
    KivMidiTransmission t;

    for (auto _ : state)
    {
        std::vector<std::pair<KivMidiTransmission::Bytes, juce::KIV_MIDI_IO::Check>> requests;
        requests.reserve (KivMidiTransmission::handshakeLength);
        requests.emplace_back (KivMidiTransmission::makeReadMidiCCMessage(), t.bind (&KivMidiTransmission::getMidiccID_Check));
        requests.emplace_back (KivMidiTransmission::makeVersionMessage(), t.bind (&KivMidiTransmission::getVersionCheck));

        for (int i = 0; i < PresetData::numPresets; ++i)
            requests.emplace_back (KivMidiTransmission::makeReadPresetMessage (i), t.bind (&KivMidiTransmission::getPresetCheck));

        requests.emplace_back (KivMidiTransmission::makeStatusMessage (0x01, 0, 0), t.bind (&KivMidiTransmission::specMsgID_Check));
        requests.emplace_back (KivMidiTransmission::makeStatusMessage (0x02, 0, 0), t.bind (&KivMidiTransmission::specMsgID_Check));
        requests.emplace_back (KivMidiTransmission::makeStatusMessage (0x06, 0, 0), t.bind (&KivMidiTransmission::sendSysCtrl_Check));
        requests.emplace_back (KivMidiTransmission::makeStatusMessage (0x07, 0, 0), t.bind (&KivMidiTransmission::sendExPedalCtrl_Check));
        requests.emplace_back (KivMidiTransmission::makeStatusMessage (0x06, 0, t.sysCtrl.load()), t.bind (&KivMidiTransmission::updateConnectedMainView_Check));

        benchmark::DoNotOptimize (requests.data());
    }

    state.SetItemsProcessed (state.iterations() * KivMidiTransmission::handshakeLength);
}

void buildBatchWrite (benchmark::State& state)
{
    KivMidiTransmission t;

    for (int i = 0; i < PresetData::numPresets; ++i)
        t.setStoredName (i, "Preset " + juce::String (i));

    for (auto _ : state)
    {
        for (int i = 0; i < PresetData::numPresets; ++i)
        {
            auto message = t.makeWritePresetMessage (i);
            benchmark::DoNotOptimize (message.data());
        }
    }

    state.SetItemsProcessed (state.iterations() * PresetData::numPresets);
}
} // namespace

BENCHMARK (buildHandshake);
BENCHMARK (buildBatchWrite);
