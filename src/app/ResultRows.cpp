#include "ResultRows.h"

#include "TextListModel.h"

#include <QTimer>

namespace brinmoor::app {

ResultRows::ResultRows(TextListModel &model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    m_flush = new QTimer(this);
    m_flush->setSingleShot(true);
    m_flush->setInterval(50);
    connect(m_flush, &QTimer::timeout, this, &ResultRows::flush);
}

void ResultRows::add(const QString &row)
{
    m_pending.append(row);
    if (!m_flush->isActive())
        m_flush->start();
}

void ResultRows::flush()
{
    m_flush->stop();
    m_model.append(std::exchange(m_pending, {}), true);
}

void ResultRows::clear()
{
    m_model.clear();
    m_pending.clear();
}

} // namespace brinmoor::app
