#include "MidiPortLayer.h"

namespace juce
{

namespace
{
    class SystemInput : public MidiPortInput
    {
    public:
        explicit SystemInput (std::unique_ptr<MidiInput> in) : input (std::move (in)) {}
        ~SystemInput() override { input->stop(); }

        void start() override { input->start(); }
        void stop() override { input->stop(); }
        String getName() const override { return input->getName(); }

    private:
        std::unique_ptr<MidiInput> input;
    };

    class SystemOutput : public MidiPortOutput
    {
    public:
        explicit SystemOutput (std::unique_ptr<MidiOutput> out) : output (std::move (out)) {}

        void sendMessageNow (const MidiMessage& message) override { output->sendMessageNow (message); }
        void clearAllPendingMessages() override { output->clearAllPendingMessages(); }
        String getName() const override { return output->getName(); }

    private:
        std::unique_ptr<MidiOutput> output;
    };

    template <typename Info>
    StringArray namesOf (const Array<Info>& devices)
    {
        StringArray names;

        for (auto& d : devices)
            names.add (d.name);

        return names;
    }

    class SystemBackend : public MidiPortBackend
    {
    public:
        StringArray getInputNames() override { return namesOf (MidiInput::getAvailableDevices()); }
        StringArray getOutputNames() override { return namesOf (MidiOutput::getAvailableDevices()); }

        std::unique_ptr<MidiPortInput> openInput (int index, MidiInputCallback* callback) override
        {
            const auto devices = MidiInput::getAvailableDevices();

            if (! isPositiveAndBelow (index, devices.size()))
                return nullptr;

            if (auto in = MidiInput::openDevice (devices[index].identifier, callback))
                return std::make_unique<SystemInput> (std::move (in));

            return nullptr;
        }

        std::unique_ptr<MidiPortOutput> openOutput (int index) override
        {
            const auto devices = MidiOutput::getAvailableDevices();

            if (! isPositiveAndBelow (index, devices.size()))
                return nullptr;

            if (auto out = MidiOutput::openDevice (devices[index].identifier))
                return std::make_unique<SystemOutput> (std::move (out));

            return nullptr;
        }
    };

    struct BackendHolder
    {
        CriticalSection lock;
        std::shared_ptr<MidiPortBackend> backend;
    };

    BackendHolder& holder()
    {
        static BackendHolder h;
        return h;
    }
} // namespace

std::shared_ptr<MidiPortBackend> MidiPortLayer::createSystemBackend()
{
    return std::make_shared<SystemBackend>();
}

std::shared_ptr<MidiPortBackend> MidiPortLayer::getBackend()
{
    auto& h = holder();
    const ScopedLock sl (h.lock);

    if (h.backend == nullptr)
        h.backend = createSystemBackend();

    return h.backend;
}

void MidiPortLayer::setBackend (std::shared_ptr<MidiPortBackend> backend)
{
    auto& h = holder();
    const ScopedLock sl (h.lock);
    h.backend = std::move (backend);
}

} // namespace juce
