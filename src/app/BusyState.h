#pragma once

#include <QObject>

namespace brinmoor::app {

// The window's one busy state: while any long command holds a lease, the
// busy pointer shows over the whole application and the removal commands
// and the hover pointers leave things alone. GUI thread only.
class BusyState : public QObject
{
    Q_OBJECT
public:
    // Move-only; releases its hold when destroyed or reset.
    class Lease
    {
    public:
        Lease() = default;
        explicit Lease(BusyState *state);
        Lease(Lease &&other) noexcept;
        Lease &operator=(Lease &&other) noexcept;
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        ~Lease();

        void reset();
        bool isHeld() const { return m_state != nullptr; }

    private:
        BusyState *m_state = nullptr;
    };

    explicit BusyState(QObject *parent = nullptr);
    ~BusyState() override;

    bool isBusy() const { return m_holders > 0; }
    [[nodiscard]] Lease acquire();

signals:
    void busyChanged(bool busy);

private:
    void release();

    int m_holders = 0;
};

} // namespace brinmoor::app
