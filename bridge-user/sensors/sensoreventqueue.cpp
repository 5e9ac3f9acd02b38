#include "sensoreventqueue.h"

#include <algorithm>

SensorEventQueue::SensorEventQueue(size_t capacity)
    : m_capacity(std::max<size_t>(capacity, 1))
{
}

void SensorEventQueue::push(const SensorEvent &event)
{
    while (m_events.size() >= m_capacity) {
        m_events.pop_front();
        ++m_dropped;
    }
    m_events.push_back(event);
}

QVector<SensorEvent> SensorEventQueue::take(int count)
{
    const size_t n = count > 0 ? std::min(size_t(count), m_events.size()) : 0;
    QVector<SensorEvent> taken;
    taken.reserve(int(n));
    for (size_t i = 0; i < n; ++i) {
        taken.append(m_events.front());
        m_events.pop_front();
    }
    return taken;
}

void SensorEventQueue::removeHandle(int handle)
{
    m_events.erase(std::remove_if(m_events.begin(), m_events.end(),
                                  [handle](const SensorEvent &e) { return e.sensorHandle == handle; }),
                   m_events.end());
}

void SensorEventQueue::clear()
{
    m_events.clear();
}
