#include "KivMessageManager.h"

namespace juce
{

KivMessageManager* KivMessageManager::manager = nullptr;

namespace
{
    // Guards creation and deletion of the instance itself; the instance's own
    // lock guards its listener list.
    CriticalSection& instanceLock()
    {
        static CriticalSection lock;
        return lock;
    }
} // namespace

KivMessageManager* KivMessageManager::getInstance()
{
    const ScopedLock sl (instanceLock());

    if (manager == nullptr)
        manager = new KivMessageManager();

    return manager;
}

void KivMessageManager::deleteInstance()
{
    const ScopedLock sl (instanceLock());
    delete manager;
    manager = nullptr;
}

void KivMessageManager::addListener (KivMessageManagerListener* listener)
{
    getInstance()->listeners.add (listener);
}

void KivMessageManager::removeListener (KivMessageManagerListener* listener)
{
    getInstance()->listeners.removeAll (listener);
}

void KivMessageManager::postNotification (juce::String name, void* data, int size)
{
    // Delivered depth first on the poster's thread; listeners added by a handler
    // are reached in the same pass.
    getInstance()->listeners.call ([&] (KivMessageManagerListener& l) { l.handleNotification (name, data, size); });
}

int KivMessageManager::getNumListeners() const
{
    return listeners.size();
}

} // namespace juce
