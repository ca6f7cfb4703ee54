#include "SimulatedUnit.h"

#include <chrono>
#include <cmath>
#include <cstring>

namespace
{
const juce::uint8 sysexHeader[] = { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00 };

// Where a control's value lives in the parameter block, by control number;
// -1 for controls without a byte of their own.
int blockOffsetOf (int controlId)
{
    switch (controlId)
    {
        case 28:
            return 1;
        case 36:
            return 2;
        case 82:
            return 3;
        case 30:
            return 4;
        case 31:
            return 5;
        case 86:
            return 6;
        case 87:
            return 7;
        case 88:
            return 8;
        case 34:
            return 9;
        case 37:
            return 10;
        case 57:
            return 11;
        case 56:
            return 12;
        case 53:
            return 13;
        case 54:
            return 14;
        case 55:
            return 15;
        case 51:
            return 16;
        case 52:
            return 17;
        case 61:
            return 18;
        case 58:
            return 19;
        case 11:
            return 22;
        case 84:
            return 23;
        case 21:
            return 24;
        case 17:
            return 25;
        case 10:
            return 26;
        case 111:
            return 27;
        case 13:
            return 28;
        case 14:
            return 29;
        case 15:
            return 30;
        case 103:
            return 43;
        case 71:
            return 44;
        case 104:
            return 46;
        default:
            return -1;
    }
}

// Block bytes kept on a 0..100 scale while the wire carries 0..127.
bool isScaled (int offset)
{
    switch (offset)
    {
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 13:
        case 14:
        case 15:
        case 16:
        case 17:
        case 24:
        case 25:
        case 26:
        case 28:
        case 29:
        case 30:
        case 43:
            return true;
        default:
            return false;
    }
}

int keyOf (const juce::MidiMessage& m)
{
    const auto* d = m.getRawData();
    const int size = m.getRawDataSize();

    if (m.isSysEx())
        return size >= 9 && std::memcmp (d, sysexHeader, sizeof (sysexHeader)) == 0 ? (d[6] << 8 | d[7]) : -1;

    return size > 0 ? (0x10000 | (d[0] & 0xF0)) : -1;
}
} // namespace

//==============================================================================
SimulatedUnit::SimulatedUnit (std::shared_ptr<juce::VirtualMidiBackend> b, const juce::String& name, bool plugNow)
    : backend (std::move (b)),
      portName (name),
      presets (SimFactory::makePresets()),
      controllerTable (SimFactory::makeControllerTable())
{
    std::copy (presets[0].begin() + 41, presets[0].begin() + 89, current.begin());

    for (int i = 0; i < 8; ++i)
        irSlots[(size_t) i] = SimFactory::makeIrSlot (i);

    worker = std::thread ([this] { run(); });

    if (plugNow)
        plug();
}

SimulatedUnit::~SimulatedUnit()
{
    unplug();

    {
        const std::lock_guard<std::mutex> l (queueLock);
        stopping = true;
    }

    queueChanged.notify_all();
    worker.join();
}

//==============================================================================
void SimulatedUnit::plug()
{
    const std::lock_guard<std::mutex> l (portLock);

    if (inputPort != 0)
        return;

    outputPort = backend->publishOutput (portName, this);
    inputPort = backend->publishInput (portName);
}

void SimulatedUnit::unplug()
{
    const std::lock_guard<std::mutex> l (portLock);

    if (inputPort == 0)
        return;

    backend->withdraw (outputPort);
    backend->withdraw (inputPort);
    inputPort = outputPort = 0;
}

bool SimulatedUnit::isPlugged() const
{
    const std::lock_guard<std::mutex> l (portLock);
    return inputPort != 0;
}

int SimulatedUnit::getInputPortId() const
{
    const std::lock_guard<std::mutex> l (portLock);
    return inputPort;
}

int SimulatedUnit::getOutputPortId() const
{
    const std::lock_guard<std::mutex> l (portLock);
    return outputPort;
}

//==============================================================================
void SimulatedUnit::messageFromHost (int outputPortId, const juce::MidiMessage& message)
{
    // The sender holds its send lock here: only queue the copy.
    {
        const std::lock_guard<std::mutex> l (queueLock);

        if (stopping)
            return;

        queue.emplace_back (outputPortId, message);
    }

    queueChanged.notify_all();
}

void SimulatedUnit::run()
{
    for (;;)
    {
        juce::MidiMessage message;

        {
            std::unique_lock<std::mutex> l (queueLock);
            queueChanged.wait (l, [this] { return stopping || ! queue.empty(); });

            if (stopping)
                return;

            requestPort = queue.front().first;
            message = std::move (queue.front().second);
            queue.pop_front();
            busy = true;
        }

        handle (message);

        {
            const std::lock_guard<std::mutex> l (queueLock);
            busy = false;
        }

        queueChanged.notify_all();
    }
}

bool SimulatedUnit::waitUntilIdle (int timeoutMs) const
{
    const auto start = std::chrono::steady_clock::now();

    {
        std::unique_lock<std::mutex> l (queueLock);

        if (! queueChanged.wait_for (l, std::chrono::milliseconds (timeoutMs),
                                     [this] { return stopping || (queue.empty() && ! busy); }))
            return false;
    }

    const auto spent = (int) std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count();
    return backend->waitUntilDelivered (juce::jmax (0, timeoutMs - spent));
}

//==============================================================================
void SimulatedUnit::handle (const juce::MidiMessage& m)
{
    {
        const std::lock_guard<std::mutex> l (logLock);
        received.push_back (m);
        ++counts[keyOf (m)];

        if (silent)
            return;
    }

    const auto* d = m.getRawData();
    const int size = m.getRawDataSize();

    if (m.isSysEx())
    {
        handleSysEx (d, size);
    }
    else if (m.isProgramChange())
    {
        const std::lock_guard<std::mutex> l (stateLock);
        choosePreset (m.getProgramChangeNumber());
    }
    else if (m.isController())
    {
        handleControlChange (m.getChannel() - 1, m.getControllerNumber(), m.getControllerValue());
    }
}

void SimulatedUnit::handleSysEx (const juce::uint8* m, int size)
{
    if (size < 9 || std::memcmp (m, sysexHeader, sizeof (sysexHeader)) != 0 || m[size - 1] != 0xF7)
        return;

    if (m[6] == 0x00)
    {
        if (m[7] == 0x00 && size == 9)
        {
            std::unique_lock<std::mutex> l (stateLock);
            auto r = message (0x10, firmwareVersion, {});
            l.unlock();
            reply (std::move (r));
        }

        return;
    }

    if (m[6] != 0x70)
        return;

    std::unique_lock<std::mutex> l (stateLock);
    std::vector<juce::uint8> r;

    switch (m[7])
    {
        case 0x00:
            if (size == 9)
            {
                r = message (0x70, 0x01, {});
                r.insert (r.begin() + 8, controllerTable.begin(), controllerTable.end());
            }
            break;

        case 0x02:
            if (size == 47)
            {
                std::copy (m + 8, m + 46, controllerTable.begin());
                r = message (0x70, 0x02, {});
            }
            break;

        case 0x05:
            if (size == 14)
            {
                l.unlock();
                handleStatus (m);
                return;
            }
            break;

        case 0x06:
            if (size == 10)
            {
                const auto& p = presets[(size_t) (m[8] & 0x7F)];
                r.assign (p.begin(), p.end());
            }
            break;

        case 0x08:
            if (size == 90)
            {
                const int index = m[8] & 0x7F;
                auto& p = presets[(size_t) index];
                std::copy (m, m + 90, p.begin());
                p[7] = 0x07;
                p[8] = (juce::uint8) index;
                r = message (0x70, 0x08, { (juce::uint8) index, 0x00 });
            }
            break;

        case 0x20:
            if (size == 42)
            {
                const int index = m[8] & 0x7F;
                std::copy (m + 9, m + 41, presets[(size_t) index].begin() + 9);
                r = message (0x70, 0x20, { (juce::uint8) index, 0x00 });
            }
            break;

        case 0x26:
            if (size == 10)
            {
                const auto& p = presets[(size_t) currentPreset];
                r.assign (p.begin(), p.end());
                r[7] = 0x27;
                std::copy (current.begin(), current.end(), r.begin() + 41);
            }
            break;

        case 0x0F:
            if (size == 18)
            {
                l.unlock();
                handleVolumes (m);
                return;
            }
            break;

        case 0x50:
        case 0x58:
            if (size == SimIrReceiver::messageSize)
            {
                l.unlock();
                handleIrUpload (m, size);
                return;
            }
            break;

        default:
            break;
    }

    l.unlock();

    if (! r.empty())
        reply (std::move (r));
}

void SimulatedUnit::handleStatus (const juce::uint8* m)
{
    std::unique_lock<std::mutex> l (stateLock);
    std::vector<juce::uint8> r;

    switch (m[8])
    {
        case 0x01:
            r = statusMessage (0x01, manualMode ? 0x00 : 0x01, manualMode ? 0x00 : (juce::uint8) currentPreset);
            break;

        case 0x02:
            r = statusMessage (0x02, shortConnect, 0x00);
            break;

        case 0x06:
            if (m[9] == 0x01)
                systemSettings = m[10];

            r = statusMessage (0x06, m[9], systemSettings);
            break;

        case 0x07:
            if (m[9] == 0x01)
                expressionPedal = m[10];

            r = statusMessage (0x07, m[9], expressionPedal);
            break;

        case 0x08:
        {
            const int index = m[10] & 0x7F;

            if (m[9] == 0x01)
                std::copy (current.begin(), current.end(), presets[(size_t) index].begin() + 41);

            r = statusMessage (0x08, m[9], (juce::uint8) index);
            break;
        }

        default:
            break;
    }

    l.unlock();

    if (! r.empty())
        reply (std::move (r));
}

void SimulatedUnit::handleVolumes (const juce::uint8* m)
{
    std::vector<juce::uint8> r;

    {
        const std::lock_guard<std::mutex> l (stateLock);

        if (m[8] == 0x01)
            for (size_t i = 0; i < 8; ++i)
                irSlots[i].volume = (juce::uint8) juce::jmin (100, (int) m[9 + i]);

        r = message (0x70, 0x0F, { m[8] });

        for (size_t i = 0; i < 8; ++i)
            r.insert (r.end() - 1, irSlots[i].volume);
    }

    reply (std::move (r));
}

void SimulatedUnit::handleIrUpload (const juce::uint8* m, int size)
{
    {
        const std::lock_guard<std::mutex> l (stateLock);
        SimIrReceiver::Record record;

        switch (irReceiver.receive (m, size, record))
        {
            case SimIrReceiver::Outcome::stored:
            {
                auto& slot = irSlots[(size_t) record.slot];
                slot.name = record.name;
                slot.samples = record.samples;
                slot.md5 = record.md5;
                ++irStored;
                break;
            }

            case SimIrReceiver::Outcome::refused:
                ++irRefused;
                break;

            case SimIrReceiver::Outcome::inProgress:
            case SimIrReceiver::Outcome::repeated:
                break;
        }
    }

    reply (message (0x70, m[7], { m[8], m[9], m[10], 0x66 }));
}

void SimulatedUnit::handleControlChange (int channel, int controller, int value)
{
    const std::lock_guard<std::mutex> l (stateLock);
    const int unitChannel = controllerTable[0];

    if (unitChannel < 16 && channel != unitChannel)
        return;

    applyControl (controller, value);
}

void SimulatedUnit::applyControl (int controller, int value)
{
    value &= 0x7F;

    // The tempo arrives as a parameter number (98 = 6, 99 = 38) and its value (6, 38).
    switch (controller)
    {
        case 0:
        case 32:
            return;

        case 98:
            nrpnLsb = value;
            return;

        case 6:
        case 38:
            if (nrpnLsb == 6 && nrpnMsb == 38)
            {
                if (controller == 6)
                {
                    tempoHigh = value;
                }
                else
                {
                    const int t = tempoHigh * 128 + value;
                    const int bpm = 40 + (int) std::lround (t * 440.0 / 16383.0);
                    current[37] = 1;
                    current[38] = (juce::uint8) (bpm >> 7);
                    current[39] = (juce::uint8) (bpm & 0x7F);
                }
            }
            return;

        case 99:
            nrpnMsb = value;
            break;

        default:
            break;
    }

    static const auto controlIds = SimFactory::defaultControllerTable();

    for (size_t t = 2; t < controllerTable.size(); ++t)
    {
        if (controllerTable[t] != controller)
            continue;

        const int offset = blockOffsetOf (controlIds[t]);

        if (offset >= 0)
            current[(size_t) offset] = isScaled (offset) ? (juce::uint8) std::lround (value * 100.0 / 127.0)
                                                         : (juce::uint8) value;
        return;
    }
}

void SimulatedUnit::choosePreset (int index)
{
    currentPreset = index & 0x7F;
    manualMode = false;
    const auto& p = presets[(size_t) currentPreset];
    std::copy (p.begin() + 41, p.begin() + 89, current.begin());
}

//==============================================================================
std::vector<juce::uint8> SimulatedUnit::message (juce::uint8 group, juce::uint8 command, std::initializer_list<juce::uint8> data)
{
    std::vector<juce::uint8> m (std::begin (sysexHeader), std::end (sysexHeader));
    m.push_back (group);
    m.push_back (command);
    m.insert (m.end(), data.begin(), data.end());
    m.push_back (0xF7);
    return m;
}

std::vector<juce::uint8> SimulatedUnit::statusMessage (juce::uint8 sub, juce::uint8 a, juce::uint8 b) const
{
    return message (0x70, 0x05, { sub, (juce::uint8) (a & 0x7F), (juce::uint8) (b & 0x7F), 0x00, 0x00 });
}

void SimulatedUnit::reply (std::vector<juce::uint8> bytes)
{
    int delay = 0;

    {
        const std::lock_guard<std::mutex> l (logLock);

        if (dropCount > 0)
        {
            --dropCount;
            ++repliesDropped;
            return;
        }

        delay = delayMs;
    }

    if (delay > 0)
    {
        std::unique_lock<std::mutex> l (queueLock);

        if (queueChanged.wait_for (l, std::chrono::milliseconds (delay), [this] { return stopping; }))
            return;
    }

    // A reply belongs to the cable its request came through: once that was pulled,
    // the editor on a new one never asked for it.
    if (requestPort != getOutputPortId())
        return;

    if (sendToEditor (bytes))
    {
        const std::lock_guard<std::mutex> l (logLock);
        ++repliesSent;
    }
}

bool SimulatedUnit::sendToEditor (const std::vector<juce::uint8>& bytes)
{
    const int port = getInputPortId();

    if (port == 0)
        return false;

    return backend->sendToHost (port, juce::MidiMessage (bytes.data(), (int) bytes.size()));
}

//==============================================================================
void SimulatedUnit::selectPreset (int index)
{
    juce::uint8 status;

    {
        const std::lock_guard<std::mutex> l (stateLock);
        choosePreset (index);
        status = (juce::uint8) (0xC0 | (controllerTable[0] < 16 ? controllerTable[0] : 0));
    }

    sendToEditor ({ status, (juce::uint8) (index & 0x7F) });
}

void SimulatedUnit::sendCurrentPresetDump()
{
    std::vector<juce::uint8> dump;

    {
        const std::lock_guard<std::mutex> l (stateLock);
        const auto& p = presets[(size_t) currentPreset];
        dump.assign (p.begin(), p.end());
    }

    sendToEditor (dump);
}

void SimulatedUnit::moveControl (int controller, int value)
{
    juce::uint8 status;

    {
        const std::lock_guard<std::mutex> l (stateLock);
        applyControl (controller & 0x7F, value);
        status = (juce::uint8) (0xB0 | (controllerTable[0] < 16 ? controllerTable[0] : 0));
    }

    sendToEditor ({ status, (juce::uint8) (controller & 0x7F), (juce::uint8) (value & 0x7F) });
}

void SimulatedUnit::enterManualMode()
{
    std::vector<juce::uint8> m;

    {
        const std::lock_guard<std::mutex> l (stateLock);
        manualMode = true;
        m = statusMessage (0x01, 0x00, 0x00);
    }

    sendToEditor (m);
}

void SimulatedUnit::enterPresetMode (int index)
{
    std::vector<juce::uint8> m;

    {
        const std::lock_guard<std::mutex> l (stateLock);
        choosePreset (index);
        m = statusMessage (0x01, 0x01, (juce::uint8) currentPreset);
    }

    sendToEditor (m);
}

void SimulatedUnit::changeShortConnect (juce::uint8 state)
{
    std::vector<juce::uint8> m;

    {
        const std::lock_guard<std::mutex> l (stateLock);
        shortConnect = (juce::uint8) (state & 0x7F);
        m = statusMessage (0x02, shortConnect, 0x00);
    }

    sendToEditor (m);
}

//==============================================================================
void SimulatedUnit::setSilent (bool shouldBeSilent)
{
    const std::lock_guard<std::mutex> l (logLock);
    silent = shouldBeSilent;
}

void SimulatedUnit::dropNextReplies (int count)
{
    const std::lock_guard<std::mutex> l (logLock);
    dropCount = juce::jmax (0, count);
}

void SimulatedUnit::setReplyDelay (int milliseconds)
{
    const std::lock_guard<std::mutex> l (logLock);
    delayMs = juce::jmax (0, milliseconds);
}

//==============================================================================
SimulatedUnit::PresetDump SimulatedUnit::getPreset (int index) const
{
    const std::lock_guard<std::mutex> l (stateLock);
    return presets[(size_t) (index & 0x7F)];
}

juce::String SimulatedUnit::getPresetName (int index) const
{
    const auto p = getPreset (index);
    const auto* name = reinterpret_cast<const char*> (p.data() + 9);
    return juce::String::fromUTF8 (name, (int) strnlen (name, 32));
}

SimulatedUnit::ParameterBlock SimulatedUnit::getCurrentSettings() const
{
    return readState ([this] { return current; });
}

SimulatedUnit::ControllerTable SimulatedUnit::getControllerTable() const
{
    return readState ([this] { return controllerTable; });
}

juce::uint8 SimulatedUnit::getFirmwareVersion() const
{
    return readState ([this] { return firmwareVersion; });
}

bool SimulatedUnit::isManualMode() const
{
    return readState ([this] { return manualMode; });
}

int SimulatedUnit::getCurrentPreset() const
{
    return readState ([this] { return currentPreset; });
}

juce::uint8 SimulatedUnit::getShortConnect() const
{
    return readState ([this] { return shortConnect; });
}

juce::uint8 SimulatedUnit::getSystemSettings() const
{
    return readState ([this] { return systemSettings; });
}

juce::uint8 SimulatedUnit::getExpressionPedal() const
{
    return readState ([this] { return expressionPedal; });
}

SimIrSlot SimulatedUnit::getIrSlot (int slot) const
{
    const std::lock_guard<std::mutex> l (stateLock);
    return irSlots[(size_t) (slot & 7)];
}

SimulatedUnit::Volumes SimulatedUnit::getIrVolumes() const
{
    const std::lock_guard<std::mutex> l (stateLock);
    Volumes v;

    for (size_t i = 0; i < 8; ++i)
        v[i] = irSlots[i].volume;

    return v;
}

int SimulatedUnit::getIrUploadsStored() const
{
    return readState ([this] { return irStored; });
}

int SimulatedUnit::getIrUploadsRefused() const
{
    return readState ([this] { return irRefused; });
}

juce::String SimulatedUnit::getLastIrRefusal() const
{
    return readState ([this] { return irReceiver.getLastRefusal(); });
}

std::vector<juce::MidiMessage> SimulatedUnit::getReceivedMessages() const
{
    const std::lock_guard<std::mutex> l (logLock);
    return received;
}

int SimulatedUnit::getSysExCount (int group, int command) const
{
    const std::lock_guard<std::mutex> l (logLock);
    const auto it = counts.find (group << 8 | command);
    return it != counts.end() ? it->second : 0;
}

int SimulatedUnit::getChannelMessageCount (int statusKind) const
{
    const std::lock_guard<std::mutex> l (logLock);
    const auto it = counts.find (0x10000 | (statusKind & 0xF0));
    return it != counts.end() ? it->second : 0;
}

int SimulatedUnit::getRepliesSent() const
{
    const std::lock_guard<std::mutex> l (logLock);
    return repliesSent;
}

int SimulatedUnit::getRepliesDropped() const
{
    const std::lock_guard<std::mutex> l (logLock);
    return repliesDropped;
}

void SimulatedUnit::clearLog()
{
    const std::lock_guard<std::mutex> l (logLock);
    received.clear();
    counts.clear();
    repliesSent = repliesDropped = 0;
}
