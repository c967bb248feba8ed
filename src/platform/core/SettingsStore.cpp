#include "SettingsStore.h"

#include "Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSettings>
#include <QStringList>

#include <utility>

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

// Whether text has the form of a settings file: every line blank, a
// comment, a [section] or a key=value (a line ending in a backslash goes on
// in the next one), in UTF-8 without NUL bytes. QSettings itself passes
// over what it cannot parse and would drop it at the next write.
// Looked at in place, line by line: a stored word list can be a hundred
// megabytes, and a decoded copy split into lines would take six times that.
bool hasSettingsForm(QByteArrayView text)
{
    if (text.contains('\0') || !isWellFormedUtf8(text))
        return false;
    bool continued = false;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView bytes = text.sliced(start, end - start).trimmed();
        start = end + 1;
        // Only its ends matter; a character outside ASCII there may be a
        // blank that the ASCII trim left.
        QString decoded;
        if (!bytes.isEmpty() && (static_cast<unsigned char>(bytes.front()) >= 0x80
                                 || static_cast<unsigned char>(bytes.back()) >= 0x80))
            decoded = QString::fromUtf8(bytes).trimmed();
        const bool wide = !decoded.isNull();
        const bool empty = wide ? decoded.isEmpty() : bytes.isEmpty();
        const auto startsWith = [&](char c) { return !empty && (wide ? decoded.front() == QLatin1Char(c) : bytes.front() == c); };
        const auto endsWith = [&](char c) { return !empty && (wide ? decoded.back() == QLatin1Char(c) : bytes.back() == c); };
        if (std::exchange(continued, endsWith('\\')))
            continue;
        if (empty || startsWith(';') || startsWith('#'))
            continue;
        if (startsWith('[') ? !endsWith(']') : !bytes.contains('='))
            return false;
    }
    return true;
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
    bool damaged = m_settings->status() == QSettings::FormatError;
    if (!damaged && info.exists()) {
        QFile stored(file);
        if (stored.open(QIODevice::ReadOnly)) {
            // Mapped rather than read: the file may hold a huge word list.
            const qint64 size = stored.size();
            const uchar *mapped = size > 0 ? stored.map(0, size) : nullptr;
            damaged = mapped ? !hasSettingsForm(QByteArrayView(mapped, size)) : !hasSettingsForm(stored.readAll());
        }
    }
    if (damaged) {
        // Keep the damaged file for whoever wants to look at it and start
        // afresh, so that this session's changes are saved again.
        // Copies kept from earlier starts stay: each one gets the next free
        // number (rename never replaces an existing file).
        m_settings.reset();
        QString aside = file + QStringLiteral(".damaged");
        bool moved = false;
        for (int n = 1; n <= 1000 && !moved; ++n) {
            moved = QFile::rename(file, aside);
            if (!moved && !QFileInfo::exists(aside))
                break;   // refused for another reason than the name
            if (!moved)
                aside = file + QStringLiteral(".damaged.%1").arg(n);
        }
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
        return;
    }
    keepHandWrittenText();
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
    // Hand-written lists were taken as text at open; one QSettings could not
    // read back whole is put together again.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SettingsStore::keepHandWrittenText()
{
    // A hand-written value with an unquoted comma reads as a list of trimmed
    // pieces, and the next write of any key would store it back in list
    // form. The program only ever stores text: take it as the file has it.
    m_settings->beginGroup(QLatin1String(settings::Section));
    const QStringList keys = m_settings->childKeys();
    for (const QString &key : keys) {
        if (m_settings->value(key).typeId() != QMetaType::QStringList)
            continue;
        if (const std::optional<QString> raw = rawValue(key))
            m_settings->setValue(key, *raw);
    }
    m_settings->endGroup();
}

std::optional<QString> SettingsStore::rawValue(const QString &key) const
{
    QFile file(m_settings->fileName());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString section = QLatin1Char('[') + QLatin1String(settings::Section) + QLatin1Char(']');
    bool inSection = false;
    for (const QString &rawLine : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == section;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inSection || equals < 0)
            continue;
        const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(line.left(equals).trimmed().toUtf8()));
        if (name != key)
            continue;
        const QString value = line.mid(equals + 1).trimmed();
        // Quotes and escapes mean what QSettings made of them.
        if (value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\\')))
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

QString SettingsStore::update(const QString &key, const std::function<QString(const QString &stored)> &change)
{
    if (m_readOnly)
        return write(key, change(read(key, QString())));
    // QSettings holds its own "<file>.lock" while it writes, so this lock
    // has a name of its own: it spans the read as well as the write.
    QLockFile lock(m_settings->fileName() + QStringLiteral(".update-lock"));
    // Without a lock (a folder that takes no files) the write goes ahead
    // and says itself that it failed.
    const bool locked = lock.tryLock(5000);
    // Takes in what other copies of the program stored meanwhile.
    m_settings->sync();
    const QString answer = write(key, change(read(key, QString())));
    if (locked)
        lock.unlock();
    return answer;
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
    // A format error is about what was read; only an access error means the
    // value did not land.
    if (m_settings->status() != QSettings::AccessError || std::exchange(m_writeFailed, true))
        return {};
    return QStringLiteral("The settings file %1 cannot be written, so changes will not be kept after "
                          "Brinmoor closes.")
        .arg(m_settings->fileName());
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
