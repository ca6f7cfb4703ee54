#pragma once

#include <juce_core/juce_core.h>

namespace juce
{

/** An ordered list of non-owning listener pointers, duplicates allowed, whose lock
    is held only for single reads and writes, never across a call into a listener. */
template <typename T>
class ListenerManager
{
public:
    void add (T* listener)
    {
        const ScopedLock sl (lock);
        items.add (listener);
    }

    void removeAll (T* listener)
    {
        const ScopedLock sl (lock);

        for (int i = items.size(); --i >= 0;)
            if (items.getUnchecked (i) == listener)
                items.remove (i);
    }

    void clear()
    {
        const ScopedLock sl (lock);
        items.clear();
    }

    int size() const
    {
        const ScopedLock sl (lock);
        return items.size();
    }

    T* get (int index) const
    {
        const ScopedLock sl (lock);
        return items[index];
    }

    /** Calls fn for each entry; the count is re-read before every step so that
        entries added by a listener are reached in the same pass. */
    template <typename Fn>
    void call (Fn&& fn) const
    {
        for (int i = 0;; ++i)
        {
            T* listener = nullptr;

            {
                const ScopedLock sl (lock);

                if (i >= items.size())
                    return;

                listener = items.getUnchecked (i);
            }

            if (listener != nullptr)
                fn (*listener);
        }
    }

private:
    Array<T*> items;
    CriticalSection lock;
};

} // namespace juce
