#pragma once

#include "sensorevent.h"

#include <QVector>

#include <cstddef>
#include <deque>

// Events waiting for Android's next poll, oldest first. Bounded: when
// Android stops polling an active sensor, the oldest events make room for
// new ones instead of memory growing without end. Not locked itself; the
// sensors service guards it.
class SensorEventQueue
{
public:
    static constexpr size_t kDefaultCapacity = 1000;

    explicit SensorEventQueue(size_t capacity = kDefaultCapacity);

    bool isEmpty() const { return m_events.empty(); }
    size_t size() const { return m_events.size(); }
    // Number of events dropped to make room so far.
    size_t dropped() const { return m_dropped; }

    void push(const SensorEvent &event);
    // Takes up to |count| of the oldest events.
    QVector<SensorEvent> take(int count);
    void removeHandle(int handle);
    void clear();

private:
    std::deque<SensorEvent> m_events;
    size_t m_capacity;
    size_t m_dropped = 0;
};
