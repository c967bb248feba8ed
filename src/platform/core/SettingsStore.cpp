#include "SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStringList>

namespace brinmoor {

namespace {

QString organisationName()
{
    return QStringLiteral("Kelmarsh");
}

QString applicationName()
{
    return QStringLiteral("Brinmoor");
}

} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             organisationName(), applicationName()))
{
    checkOpened();
}

SettingsStore::SettingsStore(const QString &fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::NativeFormat))
{
    checkOpened();
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::checkOpened()
{
    const QString file = m_settings->fileName();
    const QFileInfo info(file);
    if (info.exists() && (!info.isFile() || !info.isReadable())) {
        m_problem = QStringLiteral("The settings file %1 cannot be read; defaults are used and "
                                   "changes are not saved.").arg(file);
        m_readOnly = true;
        return;
    }
    if (m_settings->status() == QSettings::FormatError) {
        // Keep the damaged file for whoever wants to look at it and start
        // afresh, so that this session's changes are saved again.
        const QString aside = file + QStringLiteral(".damaged");
        m_settings.reset();
        QFile::remove(aside);
        const bool moved = QFile::rename(file, aside);
        m_settings = std::make_unique<QSettings>(file, QSettings::NativeFormat);
        if (moved) {
            m_problem = QStringLiteral("The settings file %1 is damaged; it was kept as %2 and "
                                       "defaults are used.").arg(file, aside);
        } else {
            m_problem = QStringLiteral("The settings file %1 is damaged; defaults are used and "
                                       "changes are not saved.").arg(file);
            m_readOnly = true;
        }
        return;
    }
    if (m_settings->status() == QSettings::AccessError) {
        m_problem = QStringLiteral("The settings file %1 cannot be read; defaults are used and "
                                   "changes are not saved.").arg(file);
        m_readOnly = true;
    }
}

QString SettingsStore::openProblem() const
{
    return m_problem;
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

QString SettingsStore::read(const QString &key, const QString &fallback) const
{
    if (m_readOnly) {
        const auto kept = m_session.constFind(key);
        return kept == m_session.cend() ? fallback : *kept;
    }
    const QString path = QLatin1String(settings::Section) + QLatin1Char('/') + key;
    const QVariant value = m_settings->value(path);
    if (!value.isValid())
        return fallback;
    // A hand-edited value with an unquoted comma comes back as a list; the
    // program only ever stores text, so put it back together.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QString SettingsStore::write(const QString &key, const QString &value)
{
    if (m_readOnly) {
        // Already reported when the store was opened: remember the value for
        // this session only.
        m_session.insert(key, value);
        return {};
    }
    m_settings->setValue(QLatin1String(settings::Section) + QLatin1Char('/') + key, value);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        return QStringLiteral("The settings file %1 cannot be written.").arg(m_settings->fileName());
    return {};
}

double numberFromText(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    bool digits = false;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        digits = true;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0;
}

std::optional<bool> truthFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number != 0;
}

QString truthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace brinmoor
