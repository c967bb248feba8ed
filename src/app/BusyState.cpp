#include "BusyState.h"

#include <QCursor>
#include <QGuiApplication>

#include <utility>

namespace brinmoor::app {

BusyState::Lease::Lease(BusyState *state)
    : m_state(state)
{
}

BusyState::Lease::Lease(Lease &&other) noexcept
    : m_state(std::exchange(other.m_state, nullptr))
{
}

BusyState::Lease &BusyState::Lease::operator=(Lease &&other) noexcept
{
    if (this != &other) {
        reset();
        m_state = std::exchange(other.m_state, nullptr);
    }
    return *this;
}

BusyState::Lease::~Lease()
{
    reset();
}

void BusyState::Lease::reset()
{
    if (BusyState *state = std::exchange(m_state, nullptr))
        state->release();
}

BusyState::BusyState(QObject *parent)
    : QObject(parent)
{
}

BusyState::~BusyState()
{
    if (m_holders > 0)
        QGuiApplication::restoreOverrideCursor();
}

BusyState::Lease BusyState::acquire()
{
    if (m_holders++ == 0) {
        // The override cursor wins over every widget's own pointer, which is
        // exactly how the busy pointer must behave.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        emit busyChanged(true);
    }
    return Lease(this);
}

void BusyState::release()
{
    if (--m_holders == 0) {
        QGuiApplication::restoreOverrideCursor();
        emit busyChanged(false);
    }
}

} // namespace brinmoor::app
