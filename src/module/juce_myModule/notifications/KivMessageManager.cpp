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
    getInstance()->add (listener);
}

void KivMessageManager::removeListener (KivMessageManagerListener* listener)
{
    getInstance()->remove (listener);
}

void KivMessageManager::postNotification (juce::String name, void* data, int size)
{
    getInstance()->post (name, data, size);
}

int KivMessageManager::getNumListeners() const
{
    const ScopedLock sl (lock);
    return listeners.size();
}

void KivMessageManager::add (KivMessageManagerListener* listener)
{
    const ScopedLock sl (lock);
    listeners.add (listener);
}

void KivMessageManager::remove (KivMessageManagerListener* listener)
{
    const ScopedLock sl (lock);

    for (int i = listeners.size(); --i >= 0;)
        if (listeners.getUnchecked (i) == listener)
            listeners.remove (i);
}

void KivMessageManager::post (const juce::String& name, void* data, int size)
{
    // The count is read again for every step so that listeners added by a handler
    // are reached in the same pass; the lock is released before each call.
    for (int i = 0;; ++i)
    {
        KivMessageManagerListener* listener = nullptr;

        {
            const ScopedLock sl (lock);

            if (i >= listeners.size())
                return;

            listener = listeners.getUnchecked (i);
        }

        if (listener != nullptr)
            listener->handleNotification (name, data, size);
    }
}

} // namespace juce
